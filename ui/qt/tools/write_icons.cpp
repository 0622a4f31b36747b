// carvex_write_icons FOLDER [LOGO_FOLDER]: writes the Windows program's icon files (carvex.ico,
// split.ico, ...) into FOLDER from the drawings the Qt backend shows, so both programs show the
// same pictures, and, given LOGO_FOLDER, the program's picture as the PNG logos the Windows 11
// menu package names (packaging/msix/Assets). The files are checked in (ui/win32/res/), since
// the Windows builds have no Qt to draw them.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "form_view.h"

namespace {

// The sizes Windows picks from at 100 % to 400 % scaling for small icons, list views, the
// taskbar, Alt+Tab and Explorer's large views.
constexpr int kSides[] = {16, 20, 24, 32, 40, 48, 64, 256};
// Larger entries are stored as PNG, as Windows has read them since Vista; smaller ones as
// bitmaps, which every reader (resource compilers and older tools included) understands.
constexpr int kLargestBitmap = 64;

const char* const kNames[] = {"carvex", "split", "build", "piece", "zip", "finished"};

// The package's logos by the names and sides its manifest gives them.
const std::pair<const char*, int> kLogos[] = {
    {"StoreLogo.png", 50}, {"Square44x44Logo.png", 44}, {"Square150x150Logo.png", 150}};

void Put16(QByteArray& out, std::uint16_t value) {
  out.append(static_cast<char>(value & 0xff));
  out.append(static_cast<char>(value >> 8));
}

void Put32(QByteArray& out, std::uint32_t value) {
  Put16(out, static_cast<std::uint16_t>(value & 0xffff));
  Put16(out, static_cast<std::uint16_t>(value >> 16));
}

// A 32-bit device-independent bitmap as icon files hold it: the header gives twice the height
// because the colour rows (bottom-up, blue-green-red-alpha, alpha not premultiplied) are
// followed by the one-bit AND mask, which marks the fully transparent pixels for readers that
// ignore alpha.
QByteArray BitmapEntry(const QImage& drawn) {
  const QImage image = drawn.convertToFormat(QImage::Format_ARGB32);
  const int side = image.width();
  const int maskStride = (side + 31) / 32 * 4;
  QByteArray out;
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(side));
  Put32(out, static_cast<std::uint32_t>(side * 2));
  Put16(out, 1);   // planes
  Put16(out, 32);  // bits per pixel
  Put32(out, 0);   // BI_RGB
  Put32(out, static_cast<std::uint32_t>(side * side * 4 + maskStride * side));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = side - 1; y >= 0; --y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < side; ++x) {
      out.append(static_cast<char>(qBlue(row[x])));
      out.append(static_cast<char>(qGreen(row[x])));
      out.append(static_cast<char>(qRed(row[x])));
      out.append(static_cast<char>(qAlpha(row[x])));
    }
  }
  for (int y = side - 1; y >= 0; --y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    QByteArray mask(maskStride, '\0');
    for (int x = 0; x < side; ++x)
      if (qAlpha(row[x]) == 0) mask[x / 8] = static_cast<char>(mask[x / 8] | (0x80 >> (x % 8)));
    out.append(mask);
  }
  return out;
}

QByteArray PngEntry(const QImage& image) {
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
  return out;
}

// The icon file: its directory (a six-byte header and one 16-byte entry per image), then
// the images in the same order.
QByteArray IconFile(const std::string& name) {
  std::vector<std::pair<int, QByteArray>> images;
  for (int side : kSides) {
    const QImage image = carvex::ui::ResourceImage(name, side);
    if (image.isNull()) return {};
    const QByteArray data = side <= kLargestBitmap ? BitmapEntry(image) : PngEntry(image);
    if (data.isEmpty()) return {};
    images.emplace_back(side, data);
  }
  QByteArray out;
  Put16(out, 0);
  Put16(out, 1);  // an icon, not a cursor
  Put16(out, static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (const auto& [side, data] : images) {
    const char stored = static_cast<char>(side >= 256 ? 0 : side);  // 0 stands for 256
    out.append(stored);
    out.append(stored);
    out.append('\0');  // no palette
    out.append('\0');
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<std::uint32_t>(data.size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(data.size());
  }
  for (const auto& image : images) out.append(image.second);
  return out;
}

bool WriteFile(const QString& path, const QByteArray& data) {
  QFile file(path);
  if (!data.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(data) == data.size()) return true;
  std::fprintf(stderr, "carvex_write_icons: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing needs no screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: carvex_write_icons FOLDER [LOGO_FOLDER]\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  for (const char* name : kNames)
    if (!WriteFile(folder.filePath(QString::fromLatin1(name) + ".ico"), IconFile(name))) return 1;
  if (argc == 3) {
    const QDir logos(QString::fromLocal8Bit(argv[2]));
    for (const auto& [name, side] : kLogos)
      if (!WriteFile(logos.filePath(QString::fromLatin1(name)),
                     PngEntry(carvex::ui::ResourceImage("carvex", side))))
        return 1;
  }
  return 0;
}
