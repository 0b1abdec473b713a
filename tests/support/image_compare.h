// Comparing pictures: the peak signal-to-noise ratio of two images of one size.
#pragma once

#include <QImage>
#include <cmath>
#include <limits>

namespace zentor::test {

// Over the red, green and blue channels, in dB; infinite for identical images,
// NaN when the sizes differ.
inline double Psnr(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return std::numeric_limits<double>::quiet_NaN();
  const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  for (int r = 0; r < x.height(); ++r) {
    const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(r));
    const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(r));
    for (int c = 0; c < x.width(); ++c) {
      const double dr = qRed(p[c]) - qRed(q[c]), dg = qGreen(p[c]) - qGreen(q[c]), db = qBlue(p[c]) - qBlue(q[c]);
      sum += dr * dr + dg * dg + db * db;
    }
  }
  const double mse = sum / (3.0 * x.width() * x.height());
  return mse == 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace zentor::test
