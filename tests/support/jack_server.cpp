#include "support/jack_server.h"

#include <jack/jack.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/audio/jack_device.h"
#include "platform/audio/sound_system_messages.h"

namespace zentor::test {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr int kStartPolls = 500;  // 10 s: a loaded machine starts it in about one
constexpr int kStopPolls = 150;
constexpr int kNames = 8;  // JACK's own limit of servers per user

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

std::optional<JackOpenTurn> FirstOpenTurn() {
  static std::atomic<bool> opened{false};
  if (opened.exchange(true)) return std::nullopt;
  return std::optional<JackOpenTurn>(std::in_place, 5000);
}

bool ProgramJackCallsDone() { return WaitForJackClosed(20000); }

bool AudioServerOptional() {
  const char* v = std::getenv("ZENTOR_NO_AUDIO_SERVER");
  return v && std::string(v) == "1";
}

JackServer::JackServer(int32_t rate, int32_t captures, Mode mode) : rate_(rate), captures_(captures), mode_(mode) {}

JackServer::~JackServer() {
  Stop();
  if (lock_ >= 0) close(lock_);
}

// JACK keeps a few server slots per user, and one that a crash left behind is
// given back only to a server of the same name: the names come from a small pool,
// each held by a lock that its program's end, however it ends, releases.
std::string JackServer::Start() {
  if (Running()) {
    MakeDefault();
    return "";
  }
  QuietSoundSystemMessages();  // the probes fail until a server is up
  // The program's clients lost with the last server leave before this process
  // opens another: libjack does not survive their close after that.
  ProgramJackCallsDone();
  if (!name_.empty()) return Launch(name_);
  std::string why = "every server name is in use";
  for (int k = 0; k < kNames; ++k) {
    const std::string name = "zentor-test-" + std::to_string(k);
    const auto path = std::filesystem::temp_directory_path() / (name + ".lock");
    const int fd = open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || Answers(name) || !(why = Launch(name)).empty()) {
      close(fd);
      continue;
    }
    lock_ = fd;
    return "";
  }
  return why;
}

bool JackServer::Answers(const std::string& name) {
  jack_status_t status{};
  const auto options = static_cast<jack_options_t>(JackNoStartServer | JackServerName);
  // Named for this test program, as the tests' other clients are.
  const std::string me = "zentor-probe-" + std::to_string(getpid());
  // A call of the program's own still under way is no answer yet.
  if (!ProgramJackCallsDone()) return false;
  const std::optional<JackOpenTurn> turn = FirstOpenTurn();
  jack_client_t* probe = jack_client_open(me.c_str(), options, &status, name.c_str());
  if (probe) jack_client_close(probe);
  return probe != nullptr;
}

std::string JackServer::Launch(const std::string& name) {
  RemoveLeftovers(name);
  const std::string log = (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()) + ".log")).string();
  const pid_t parent = getpid();
  const std::string rate = std::to_string(rate_), captures = std::to_string(captures_);
  const pid_t pid = fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    // The server goes when the test program goes, even by a crash.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    if (std::FILE* f = std::fopen(log.c_str(), "w")) {
      dup2(fileno(f), STDOUT_FILENO);
      dup2(fileno(f), STDERR_FILENO);
    }
    // A client gets 5 s to answer, not 0.5: test programs share a busy machine.
    std::vector<const char*> argv{"jackd", "-n", name.c_str(), "--no-realtime", "-t", "5000"};
    if (mode_ == Mode::Sync) argv.push_back("-S");
    for (const char* a : {"-d", "dummy", "-r", rate.c_str(), "-p", "1024", "-C", captures.c_str(), "-P", "2"})
      argv.push_back(a);
    argv.push_back(nullptr);
    execvp("jackd", const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  std::string why = "jackd did not answer within 10 s";
  for (int i = 0; i < kStartPolls; ++i) {
    if (Exited(pid)) {
      std::ifstream in(log);
      std::stringstream text;
      text << in.rdbuf();
      why = "jackd ended at once: " + text.str();
      break;
    }
    if (Answers(name)) {
      pid_ = pid;
      name_ = name;
      MakeDefault();
      why.clear();
      break;
    }
    std::this_thread::sleep_for(kPoll);
  }
  if (!why.empty() && !Exited(pid)) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  std::error_code ec;
  std::filesystem::remove(log, ec);
  return why;
}

void JackServer::MakeDefault() const { setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1); }

void JackServer::Freeze() const {
  if (Running()) kill(pid_, SIGSTOP);
}

void JackServer::Resume() const {
  if (Running()) kill(pid_, SIGCONT);
}

void JackServer::Kill() { Reap(SIGKILL); }

void JackServer::Stop() { Reap(SIGTERM); }

void JackServer::Reap(int signal) {
  if (!Running()) return;
  kill(pid_, SIGCONT);
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
