#pragma once
// The class library's picture formats: graphics that load, save and draw themselves, registered by
// file extension and by clipboard format, and the picture that holds one graphic of any of them.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Exception.h"
#include "platform/core/Streams.h"
#include "platform/gui/Graphics.h"

class QMimeData;

// A picture of some format.
class TGraphic {
public:
  TGraphic() = default;
  virtual ~TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) = 0;
  // The picture scaled into rect.
  virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
  // The clipboard's data in the graphic's own format, and the graphic from such data.
  virtual void SaveToMimeData(QMimeData& data) = 0;
  virtual void LoadFromMimeData(const QMimeData& data) = 0;

  // A file that cannot be opened or created raises, naming it.
  void LoadFromFile(const std::u16string& fileName);
  void SaveToFile(const std::u16string& fileName);
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

// The error of a picture that cannot be read, written or assigned.
class EInvalidGraphicFormat : public Exception {
public:
  using Exception::Exception;
};

inline constexpr char sUnknownExtension[] = "Unknown picture file extension";
inline constexpr char sUnknownClipboardFormat[] = "Unsupported clipboard format";

struct TFileFormat {
  std::u16string Extension;  // without the dot, compared without case
  std::u16string Description;
  std::string ClassName;
  TGraphicFactory Factory;
};

struct TClipboardFormat {
  std::string MimeType;
  std::string ClassName;
  TGraphicFactory Factory;
};

// Holds one graphic; the registries of formats are shared by all pictures.
class TPicture {
public:
  // A later registration of an extension or clipboard format takes the place of an earlier one.
  static void RegisterFileFormat(const std::u16string& extension, const std::u16string& description,
                                 const std::string& className, TGraphicFactory factory);
  static void RegisterClipboardFormat(const std::string& mimeType, const std::string& className,
                                      TGraphicFactory factory);
  // Every file and clipboard format of the class goes.
  static void UnregisterGraphicClass(const std::string& className);
  // The format of a file name's extension (or of a bare extension), or null.
  static const TFileFormat* FileFormat(const std::u16string& fileNameOrExtension);
  static std::vector<TFileFormat> FileFormats();
  static bool SupportsClipboardFormat(const std::string& mimeType);

  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

  // A graphic of the class registered for the file's extension loads the file; an extension no
  // class is registered for raises "Unknown picture file extension (.ext)", with the old graphic kept.
  void LoadFromFile(const std::u16string& fileName);
  // Nothing for no graphic.
  void SaveToFile(const std::u16string& fileName);
  // The first registered format that the data holds; other data raises "Unsupported clipboard format".
  void LoadFromMimeData(const QMimeData& data);
  // The system clipboard's data, as LoadFromMimeData.
  void LoadFromClipboard();

private:
  std::unique_ptr<TGraphic> graphic_;
};
