// Labels on a real X screen (a private Xvfb with openbox): shown in a window
// of another client, grabbed by window id, by pid, by title and as a region,
// and read back exactly; what covers it named; and the grabs that cannot
// work, each said as such.
#include <unistd.h>

#include "host/image/image_error.h"
#include "host/image/label.h"
#include "host/image/screen_grab.h"
#include "host/image/symbols.h"
#include "tests/image/picture_kit.h"
#include "tests/x11/x_fixture.h"

namespace {

using image::Failure;
using image::GreyImage;

const std::string kGs1 =
    "0104600000000008"
    "21ABC\x1d"
    "93AbCd";

// What the window shows: zint's GS1 DataMatrix where labels are built, else
// zxing-cpp's plain DataMatrix of the same bytes.
GreyImage Label() {
  if (image::LabelsBuilt())
    return image::RenderLabel("(01)04600000000008(21)ABC(93)AbCd",
                              {image::Symbology::GS1DataMatrix, 5, 4, false});
  return picturekit::DrawSymbol("DataMatrix", kGs1, 5);
}

void ExpectTheLabel(GreyImage grab) {
  const std::vector<image::Symbol> symbols = image::ReadSymbols(std::move(grab));
  ASSERT_EQ(symbols.size(), 1u);
  EXPECT_EQ(symbols[0].bytes, kGs1);
  if (image::LabelsBuilt()) {
    EXPECT_EQ(symbols[0].symbologyId, "]d2");
  }
}

template <typename Grab>
void ExpectFailure(Failure failure, Grab grab) {
  try {
    grab();
    ADD_FAILURE() << "grabbed";
  } catch (const image::Error& error) {
    EXPECT_EQ(error.failure(), failure) << error.what();
  }
}

class ScreenGrab : public xtest::XDesktop {};

TEST_F(ScreenGrab, AnotherClientsWindowByIdPidTitleAndRegion) {
  const GreyImage label = Label();
  constexpr long kOtherPid = 424242;  // the window is another process's, as far as X tells
  window = MakeWindow({.pid = kOtherPid,
                       .title = "label under test",
                       .width = static_cast<unsigned>(label.width()),
                       .height = static_cast<unsigned>(label.height())});
  ASSERT_TRUE(window);
  picturekit::ShowPicture(window->display(), window->id(), label);

  image::ScreenGrabber grabber;
  GreyImage byId = grabber.GrabWindow(static_cast<std::uint32_t>(window->id()));
  EXPECT_EQ(byId.width(), label.width());
  EXPECT_EQ(byId.height(), label.height());
  ExpectTheLabel(std::move(byId));
  EXPECT_EQ(grabber.WindowOfPid(kOtherPid), window->id());
  EXPECT_EQ(grabber.WindowNamed("label under test"), window->id());
  EXPECT_EQ(grabber.WindowNamed("under te"), window->id());

  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(window->display(), window->id(), DefaultRootWindow(window->display()), 0, 0,
                        &x, &y, &child);
  ExpectTheLabel(grabber.GrabRegion({x - 10, y - 10, label.width() + 20, label.height() + 20}));
  ExpectTheLabel(grabber.GrabScreen());

  // Read as it is seen: under another window it is gone, and that window is named.
  const auto id = static_cast<std::uint32_t>(window->id());
  EXPECT_TRUE(grabber.WindowsCovering(id).empty());
  const image::Rect screen = grabber.ScreenRect();
  auto cover = MakeWindow({.title = "covering it",
                           .width = static_cast<unsigned>(screen.width),
                           .height = static_cast<unsigned>(screen.height)});
  ASSERT_TRUE(cover && cover->Activate());
  EXPECT_EQ(grabber.WindowsCovering(id), std::vector<std::string>{"'covering it'"});
  EXPECT_TRUE(image::ReadSymbols(grabber.GrabWindow(id)).empty());
  cover.reset();

  ExpectFailure(Failure::NoWindow, [&] { grabber.WindowOfPid(kOtherPid + 1); });
  ExpectFailure(Failure::NoWindow, [&] { grabber.WindowNamed("no such title"); });
  ExpectFailure(Failure::NoWindow, [&] { grabber.GrabWindow(0x7ffffff); });
  ExpectFailure(Failure::NotViewable, [&] { grabber.GrabRegion({-500, -500, 100, 100}); });
  window->Unmap();
  ExpectFailure(Failure::NotViewable,
                [&] { grabber.GrabWindow(static_cast<std::uint32_t>(window->id())); });
}

TEST_F(ScreenGrab, ABlackGrabAndAMissingDisplayAreSaid) {
  window = MakeWindow({.title = "black", .width = 200, .height = 100});
  ASSERT_TRUE(window);
  XSetWindowBackground(window->display(), window->id(), BlackPixel(window->display(), 0));
  XClearWindow(window->display(), window->id());
  XSync(window->display(), False);
  image::ScreenGrabber grabber;
  ExpectFailure(Failure::BlackGrab,
                [&] { grabber.GrabWindow(static_cast<std::uint32_t>(window->id())); });

  int number = 900;
  while (access(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), F_OK) == 0) ++number;
  ExpectFailure(Failure::NoDisplay, [&] { image::ScreenGrabber(":" + std::to_string(number)); });
}

TEST(ScreenGrabDepth, SixteenBitScreenReads) {
  std::string error;
  auto server =
      hostkit::PrivateXServer::Start({.windowManager = false, .screen = "800x600x16"}, &error);
  ASSERT_TRUE(server) << error;
  const GreyImage label = Label();
  auto window =
      hostkit::HostTopLevelWindow::Create(server->display(),
                                          {.width = static_cast<unsigned>(label.width()),
                                           .height = static_cast<unsigned>(label.height())},
                                          &error);
  ASSERT_TRUE(window) << error;
  picturekit::ShowPicture(window->display(), window->id(), label);
  image::ScreenGrabber grabber(server->display());
  ExpectTheLabel(grabber.GrabWindow(static_cast<std::uint32_t>(window->id())));
  // No window manager lists windows: finding one by pid cannot work, and says why.
  ExpectFailure(Failure::NoWindow,
                [&] { grabber.WindowOfPid(static_cast<std::uint32_t>(getpid())); });
}

}  // namespace
