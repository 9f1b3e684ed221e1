#include "platform/gui/Pictures.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>

#include "platform/core/Files.h"
#include "platform/core/MemoryStream.h"
#include "platform/core/Utf8.h"

namespace {

struct TRegistry {
  std::vector<TFileFormat> files;
  std::vector<TClipboardFormat> clipboard;
};

// Built on first use, so that formats may register from static initialisers of other units.
TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool SameText(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
           return Upper(x) == Upper(y);
         });
}

// The extension after the last dot of the name's last component; the whole text when it has no dot.
std::u16string Extension(const std::u16string& name) {
  const size_t slash = name.find_last_of(u'/');
  const size_t dot = name.find_last_of(u'.');
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return name;
  return name.substr(dot + 1);
}

}  // namespace

void TGraphic::LoadFromFile(const std::u16string& fileName) {
  TMemoryStream stream;
  if (!stream.LoadFromFile(fileName))
    throw EInvalidGraphicFormat("Cannot open file \"" + platform::Utf16ToUtf8(fileName) + "\"");
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::u16string& fileName) {
  // The bytes are complete before the file is touched, so that a failing picture leaves no file behind.
  TMemoryStream stream;
  SaveToStream(stream);
  const platform::FileHandle h =
      platform::OpenFile(fileName, platform::AccessWrite, platform::ShareNone, platform::Disposition::CreateAlways);
  if (h == platform::InvalidFileHandle)
    throw EInvalidGraphicFormat("Cannot create file \"" + platform::Utf16ToUtf8(fileName) + "\"");
  const bool ok = platform::WriteFile(h, stream.Memory(), stream.GetSize()) == stream.GetSize();
  platform::CloseFile(h);
  if (!ok) throw EInvalidGraphicFormat("Cannot write file \"" + platform::Utf16ToUtf8(fileName) + "\"");
}

void TPicture::RegisterFileFormat(const std::u16string& extension, const std::u16string& description,
                                  const std::string& className, TGraphicFactory factory) {
  auto& files = Registry().files;
  std::erase_if(files, [&](const TFileFormat& f) { return SameText(f.Extension, extension); });
  files.push_back({extension, description, className, std::move(factory)});
}

void TPicture::RegisterClipboardFormat(const std::string& mimeType, const std::string& className,
                                       TGraphicFactory factory) {
  auto& formats = Registry().clipboard;
  std::erase_if(formats, [&](const TClipboardFormat& f) { return f.MimeType == mimeType; });
  formats.push_back({mimeType, className, std::move(factory)});
}

void TPicture::UnregisterGraphicClass(const std::string& className) {
  std::erase_if(Registry().files, [&](const TFileFormat& f) { return f.ClassName == className; });
  std::erase_if(Registry().clipboard, [&](const TClipboardFormat& f) { return f.ClassName == className; });
}

const TFileFormat* TPicture::FileFormat(const std::u16string& fileNameOrExtension) {
  const std::u16string extension = Extension(fileNameOrExtension);
  for (const TFileFormat& f : Registry().files)
    if (SameText(f.Extension, extension)) return &f;
  return nullptr;
}

std::vector<TFileFormat> TPicture::FileFormats() { return Registry().files; }

bool TPicture::SupportsClipboardFormat(const std::string& mimeType) {
  const auto& formats = Registry().clipboard;
  return std::any_of(formats.begin(), formats.end(), [&](const TClipboardFormat& f) { return f.MimeType == mimeType; });
}

void TPicture::LoadFromFile(const std::u16string& fileName) {
  const TFileFormat* format = FileFormat(fileName);
  if (!format)
    throw EInvalidGraphicFormat(std::string(sUnknownExtension) + " (." + platform::Utf16ToUtf8(Extension(fileName)) +
                                ")");
  std::unique_ptr<TGraphic> graphic = format->Factory();
  graphic->LoadFromFile(fileName);
  graphic_ = std::move(graphic);
}

void TPicture::SaveToFile(const std::u16string& fileName) {
  if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::LoadFromMimeData(const QMimeData& data) {
  for (const TClipboardFormat& f : Registry().clipboard) {
    if (!data.hasFormat(QString::fromStdString(f.MimeType))) continue;
    std::unique_ptr<TGraphic> graphic = f.Factory();
    graphic->LoadFromMimeData(data);
    graphic_ = std::move(graphic);
    return;
  }
  throw EInvalidGraphicFormat(sUnknownClipboardFormat);
}

void TPicture::LoadFromClipboard() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data) throw EInvalidGraphicFormat(sUnknownClipboardFormat);
  LoadFromMimeData(*data);
}
