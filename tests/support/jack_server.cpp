#include "support/jack_server.h"

#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/audio/sound_system_messages.h"

namespace zentor::test {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr int kStartPolls = 500;  // 10 s: a loaded machine starts it in about one
constexpr int kStopPolls = 150;

int g_servers = 0;

bool Exited(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

// What a killed server leaves in shared memory under its own name.
void RemoveLeftovers(const std::string& name) {
  std::error_code ec;
  const std::string mark = "_" + name + "_";
  for (const auto& f : std::filesystem::directory_iterator("/dev/shm", ec))
    if (f.path().filename().string().find(mark) != std::string::npos) std::filesystem::remove(f.path(), ec);
}

}  // namespace

bool AudioServerOptional() {
  const char* v = std::getenv("ZENTOR_NO_AUDIO_SERVER");
  return v && std::string(v) == "1";
}

JackServer::JackServer(int32_t rate) : rate_(rate) {
  name_ = "zentor-test-" + std::to_string(getpid()) + "-" + std::to_string(++g_servers);
  log_ = (std::filesystem::temp_directory_path() / (name_ + ".log")).string();
}

JackServer::~JackServer() {
  Stop();
  std::error_code ec;
  std::filesystem::remove(log_, ec);
}

std::string JackServer::Start() {
  MakeDefault();
  if (Running()) return "";
  QuietSoundSystemMessages();  // the probes below fail until it is up
  const pid_t parent = getpid();
  const std::string rate = std::to_string(rate_);
  const pid_t pid = fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    // The server goes when the test program goes, even by a crash, and orderly:
    // a killed server keeps its place among JACK's few server slots for good.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    if (std::FILE* log = std::fopen(log_.c_str(), "w")) {
      dup2(fileno(log), STDOUT_FILENO);
      dup2(fileno(log), STDERR_FILENO);
    }
    // A client gets 5 s to answer, not 0.5: test programs share a busy machine.
    execlp("jackd", "jackd", "-n", name_.c_str(), "--no-realtime", "-t", "5000", "-d", "dummy", "-r", rate.c_str(),
           "-p", "1024", static_cast<char*>(nullptr));
    _exit(127);
  }
  pid_ = pid;
  for (int i = 0; i < kStartPolls; ++i) {
    if (Exited(pid_)) {
      pid_ = -1;
      std::ifstream in(log_);
      std::stringstream text;
      text << in.rdbuf();
      return "jackd ended at once: " + text.str();
    }
    jack_status_t status{};
    const auto options = static_cast<jack_options_t>(JackNoStartServer | JackServerName);
    if (jack_client_t* probe = jack_client_open("zentor-probe", options, &status, name_.c_str())) {
      jack_client_close(probe);
      return "";
    }
    std::this_thread::sleep_for(kPoll);
  }
  Reap(SIGKILL);
  return "jackd did not answer within 10 s";
}

void JackServer::MakeDefault() const { setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1); }

void JackServer::Kill() { Reap(SIGKILL); }

void JackServer::Stop() { Reap(SIGTERM); }

void JackServer::Reap(int signal) {
  if (!Running()) return;
  kill(pid_, signal);
  bool gone = false;
  for (int i = 0; i < kStopPolls && !gone; ++i) {
    gone = Exited(pid_);
    if (!gone) std::this_thread::sleep_for(kPoll);
  }
  if (!gone) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
  RemoveLeftovers(name_);
}

}  // namespace zentor::test
