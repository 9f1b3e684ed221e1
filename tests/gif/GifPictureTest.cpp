// The GIF picture as a picture format: assignment, the screen, the registry and the clipboard.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <functional>

#include "gif/gui/GifPicture.h"
#include "tests/gif/GifBuilder.h"
#include "tests/gif/GifTestSupport.h"

using namespace gif;
using namespace gif::test;

namespace {

// Two frames on a 4 x 3 screen with a global table: a comment, a loop and graphic control
// extensions, and a second frame on a local table.
std::vector<uint8_t> TwoFrames() {
  GifBuilder b;
  b.Header(4, 3, 2, 1).Loop(2);
  b.Raw({'!', 0xFE, 5}).Text("hello").Raw({0});
  b.Gce(1, 7, 3).Image(0, 0, 4, 3).Pixels(2, {0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 3, 3});
  b.Gce(2, 9).Image(1, 1, 2, 2, 1).Pixels(2, {1, 0, 0, 1});
  return b.Trailer().Bytes;
}

}  // namespace

TEST(GifPicture, AssignCopiesFramesExtensionsScreenAndGlobalTable) {
  TGifPicture source, copy;
  Load(source, TwoFrames());
  std::vector<int> progress;
  copy.OnProgress = [&](TProgressStage, int percent, const std::string& message) {
    if (message == sCopying) progress.push_back(percent);
  };
  copy.Assign(source);
  EXPECT_EQ(progress, (std::vector<int>{50, 100}));
  EXPECT_EQ(Saved(copy), Saved(source));
  ASSERT_EQ(copy.Images.Count(), 2);
  ASSERT_EQ(copy.Images[0].Extensions.Count(), 3);
  // Copies, not shared: a change to the source leaves the copy as it was.
  dynamic_cast<TGIFCommentExtension&>(source.Images[0].Extensions[1]).Text = {"changed"};
  EXPECT_EQ(dynamic_cast<TGIFCommentExtension&>(copy.Images[0].Extensions[1]).Text, TGIFLines{"hello"});
  EXPECT_EQ(copy.Images[0].Extensions[0].Image(), &copy);
  const std::vector<uint8_t> before = Saved(copy);
  copy.Assign(copy);
  EXPECT_EQ(Saved(copy), before);
}

// A screen without a size loads as the frames' (a screen with one clips them, GifItemsTest), and
// cannot then shrink below them.
TEST(GifPicture, TheScreenHoldsEveryFrame) {
  TGifPicture picture;
  std::vector<TProgressStage> stages;
  std::vector<std::string> warnings;
  picture.OnProgress = [&](TProgressStage stage, int, const std::string& message) {
    if (message == sLoading) stages.push_back(stage);
  };
  picture.OnWarning = [&](TGIFSeverity, const std::string& message) { warnings.push_back(message); };
  Load(picture, GifBuilder().Header(0, 0, 1).Image(1, 1, 3, 2).Pixels(2, {0, 1, 0, 1, 0, 1}).Trailer().Bytes);
  EXPECT_EQ(picture.Width() * 10 + picture.Height(), 43);
  EXPECT_TRUE(warnings.empty());
  ASSERT_GE(stages.size(), 2u);
  EXPECT_EQ(std::pair(stages.front(), stages.back()), std::pair(psStarting, psEnding));
  EXPECT_EQ(ErrorOf([&] { picture.SetWidth(3); }), sScreenWidthSmall);
  EXPECT_EQ(ErrorOf([&] { picture.SetHeight(2); }), sScreenHeightSmall);
  int changes = 0;
  picture.OnChange = [&] { ++changes; };
  picture.SetWidth(8);
  picture.SetWidth(8);
  EXPECT_EQ(picture.Width(), 8);
  EXPECT_EQ(changes, 1);
}

TEST(GifPicture, AssignedToABitmapItShowsFrameZeroOnTheScreen) {
  TGifPicture picture;
  Load(picture, GifBuilder().Header(3, 2, 1, 1).Image(1, 0, 1, 2).Pixels(2, {0, 0}).Trailer().Bytes);
  TBitmap bitmap;
  picture.AssignTo(bitmap);
  ASSERT_EQ(bitmap.Width() * 10 + bitmap.Height(), 32);
  EXPECT_EQ(Rows(bitmap.Image()), "101|101|");  // on the background, index 1
  // A frame alone: its own size, on its palette.
  picture.AssignTo(picture.Images[0], bitmap);
  EXPECT_EQ(bitmap.Width(), 1);
  EXPECT_EQ(bitmap.Image().format(), QImage::Format_Indexed8);
  TGifPicture empty;
  empty.AssignTo(bitmap);
  EXPECT_TRUE(bitmap.Empty());
}

TEST(GifPicture, FramesOfAnotherPictureAreAddedAsCopiesWithTheirColours) {
  TGifPicture source, picture;
  Load(source, TwoFrames());
  auto frame = std::make_unique<TGIFSubImage>(&source);
  frame->SetBounds(0, 0, 2, 1);
  frame->Data() = {1, 2};
  picture.Add(std::move(frame));
  ASSERT_EQ(picture.Images.Count(), 1);
  EXPECT_EQ(picture.Images[0].Image(), &picture);
  ASSERT_EQ(picture.Images[0].ActiveColorMap().Count(), 4);
  EXPECT_EQ(picture.Images[0].ActiveColorMap().Color(2), source.Header.ColorMap.Color(2));
}

// A frame takes a TPicture's graphic as Add takes a graphic; a picture without one clears it.
TEST(GifPicture, AFrameBecomesAPicturesGraphic) {
  TPicture source;
  auto gif = std::make_unique<TGifPicture>();
  Load(*gif, TwoFrames());
  TBitmap shown;
  gif->AssignTo(shown);
  source.SetGraphic(std::move(gif));
  TGifPicture picture;
  TGIFSubImage& frame = NewFrame(picture);
  AssignPicture(frame, source, picture.ConvertSettings);
  ASSERT_EQ(frame.Width() * 10 + frame.Height(), 43);
  picture.DrawOptions = 0;
  TBitmap again;
  picture.AssignTo(again);
  EXPECT_EQ(again.Image().convertToFormat(QImage::Format_RGB32), shown.Image().convertToFormat(QImage::Format_RGB32));
  AssignPicture(frame, TPicture(), picture.ConvertSettings);
  EXPECT_TRUE(frame.Empty());
}

// The format's registrations (the registry finds the picture class by them: MimeData, Clipboard).
TEST(GifPicture, TheRegistryKnowsGifFilesUntilUnregistered) {
  RegisterGifPicture();
  const TFileFormat* format = TPicture::FileFormat(u"picture.Gif");
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->Description, u"GIF Image");
  EXPECT_TRUE(TPicture::SupportsClipboardFormat("image/gif"));
  UnregisterGifPicture();
  EXPECT_EQ(TPicture::FileFormat(u"gif"), nullptr);
  EXPECT_FALSE(TPicture::SupportsClipboardFormat("image/gif"));
  RegisterGifPicture();
}

TEST(GifPicture, MimeDataCarriesTheFileImagesBecomeFramesOtherDataRaises) {
  TGifPicture source, copy, empty;
  Load(source, TwoFrames());
  QMimeData data, none, image, text;
  source.SaveToMimeData(data);
  ASSERT_TRUE(data.hasFormat("image/gif"));
  copy.LoadFromMimeData(data);
  EXPECT_EQ(Saved(copy), Saved(source));
  empty.SaveToMimeData(none);
  EXPECT_FALSE(none.hasFormat("image/gif"));

  QImage pixels(2, 1, QImage::Format_RGB32);
  pixels.fill(RgbOf(0));  // on the colour cube: no reduction changes it
  image.setImageData(pixels);
  copy.LoadFromMimeData(image);
  ASSERT_EQ(copy.Images.Count(), 1);
  TBitmap bitmap;
  copy.AssignTo(bitmap);
  EXPECT_EQ(Rows(bitmap.Image()), "00|");

  text.setText("not a picture");
  EXPECT_EQ(ErrorOf([&] { copy.LoadFromMimeData(text); }), sUnknownClipboardFormat);
  TPicture picture;
  EXPECT_EQ(ErrorOf([&] { picture.LoadFromMimeData(text); }), sUnknownClipboardFormat);
  picture.LoadFromMimeData(data);
  EXPECT_NE(dynamic_cast<TGifPicture*>(picture.Graphic()), nullptr);
}

TEST(GifPicture, ClipboardRoundTrip) {
  qttest::EnsureApp();
  RegisterGifPicture();
  TGifPicture source;
  Load(source, TwoFrames());
  const std::string error = ErrorOf([&] { source.SaveToClipboard(); });
  if (error == sFailedClipboard) GTEST_SKIP() << "this platform's clipboard holds no data";
  ASSERT_EQ(error, "");
  TPicture picture;
  picture.LoadFromClipboard();
  auto* gif = dynamic_cast<TGifPicture*>(picture.Graphic());
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(Saved(*gif), Saved(source));
  // A picture of another format becomes the only frame.
  QImage pixels(3, 2, QImage::Format_RGB32);
  pixels.fill(qRgb(0, 255, 0));
  QGuiApplication::clipboard()->setImage(pixels);
  TGifPicture fromImage;
  fromImage.LoadFromClipboard();
  EXPECT_EQ(fromImage.Images.Count(), 1);
  EXPECT_EQ(fromImage.Width(), 3);
  QGuiApplication::clipboard()->setText("text");
  EXPECT_EQ(ErrorOf([&] { picture.LoadFromClipboard(); }), sUnknownClipboardFormat);
  EXPECT_EQ(ErrorOf([&] { fromImage.LoadFromClipboard(); }), sUnknownClipboardFormat);
  EXPECT_EQ(fromImage.Images.Count(), 1);
}
