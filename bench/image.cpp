// The command's image engine beside zxing-cpp alone, each figure with its
// floor from the same run (medians of kRuns):
//
//   screen  a 1920x1080 private Xvfb showing one GS1 DataMatrix.
//           ours:  ScreenGrabber::GrabScreen + ReadSymbols
//           floor: one GetImage of the root window + ZXing::ReadBarcodes on
//                  the server's BGRX pixels, the same hints (try harder,
//                  rotate, downscale)
//           Twice: the symbol on the screen's centre lines (where Debian's
//           zxing-cpp 1.4 looks for a DataMatrix) and off them (where only
//           our band sweep finds it; the floor's count says so).
//   file    a 4000x3000 photo-like colour JPEG with a label in it (twice: in
//           the middle, where zxing-cpp alone finds it, and off it).
//           ours:  LoadImage + ReadSymbols
//           floor: stbi_load to grey + ZXing::ReadBarcodes, the same hints
//           and the peak memory (VmHWM) of each, measured in a fresh process,
//           against the decoded image: 4000 x 3000 grey bytes (12 MB), what
//           both decode the JPEG to.
//
//   bench_image                       everything
//   bench_image --photo FILE          writes the photo, for a look or other tools
//   bench_image --peak ours|floor FILE    (internal) one read, then its VmHWM
#include <ZXing/ReadBarcode.h>
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "host/desktop/private_server.h"
#include "host/desktop/window.h"
#include "host/image/image_file.h"
#include "host/image/label.h"
#include "host/image/screen_grab.h"
#include "host/image/symbols.h"
#include "tests/image/picture_kit.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 21;
const char* const kGs1 = "(01)04600000000008(21)ABC(93)AbCd";

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "bench_image: %s\n", message.c_str());
  std::exit(1);
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

struct Pair {
  double ours = 0, floor = 0;  // median milliseconds
  std::size_t oursFound = 0, floorFound = 0;
};

// Both, taken in turn after a first run of each, so that whatever else the
// machine does weighs on both alike.
Pair TimeBoth(const std::function<std::size_t()>& ours, const std::function<std::size_t()>& floor) {
  Pair pair;
  pair.oursFound = ours();
  pair.floorFound = floor();
  std::vector<double> oursMs, floorMs;
  for (int run = 0; run < kRuns; ++run) {
    for (const bool mine : {true, false}) {
      const auto start = Clock::now();
      (mine ? ours : floor)();
      (mine ? oursMs : floorMs)
          .push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
  }
  pair.ours = Median(oursMs);
  pair.floor = Median(floorMs);
  return pair;
}

ZXing::DecodeHints FloorHints() {
  ZXing::DecodeHints hints;
  return hints.setTryHarder(true).setTryRotate(true).setTryDownscale(true);
}

void Row(const char* what, const Pair& pair) {
  std::printf("  %-34s %8.1f ms (%zu found)   floor %8.1f ms (%zu found)   %5.2fx\n", what,
              pair.ours, pair.oursFound, pair.floor, pair.floorFound, pair.ours / pair.floor);
}

// ---- screen -------------------------------------------------------------------

// The whole root window in one GetImage: the floor's grab.
xcb_get_image_reply_t* GrabRoot(xcb_connection_t* c, const xcb_screen_t* screen) {
  xcb_get_image_reply_t* reply =
      xcb_get_image_reply(c,
                          xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
                                        screen->width_in_pixels, screen->height_in_pixels, ~0u),
                          nullptr);
  if (reply == nullptr) Fail("GetImage failed");
  return reply;
}

// The floor's grab alone.
std::size_t FloorGrab(xcb_connection_t* c, const xcb_screen_t* screen) {
  std::free(GrabRoot(c, screen));
  return 1;
}

// The floor's grab, then zxing-cpp on the server's pixels.
std::size_t FloorScreen(xcb_connection_t* c, const xcb_screen_t* screen) {
  xcb_get_image_reply_t* reply = GrabRoot(c, screen);
  const ZXing::ImageView view(xcb_get_image_data(reply), screen->width_in_pixels,
                              screen->height_in_pixels, ZXing::ImageFormat::BGRX);
  const std::size_t found = ZXing::ReadBarcodes(view, FloorHints()).size();
  std::free(reply);
  return found;
}

void BenchScreen() {
  std::string error;
  auto server =
      hostkit::PrivateXServer::Start({.windowManager = false, .screen = "1920x1080x24"}, &error);
  if (!server) Fail(error);
  const image::GreyImage label =
      image::RenderLabel(kGs1, {image::Symbology::GS1DataMatrix, 4, 2, false});
  std::printf("screen 1920x1080x24, one GS1 DataMatrix of %dx%d pixels (4 a module)\n",
              label.width(), label.height());
  xcb_connection_t* c = xcb_connect(server->display().c_str(), nullptr);
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  image::ScreenGrabber grabber(server->display());
  struct Place {
    const char* name;
    int x, y;
  };
  for (const Place& place : {Place{"on the centre lines", 960 - label.width() / 2, 540 - 20},
                             Place{"off them (top right)", 1500, 150}}) {
    // A desktop of sorts: a light ground with darker panels, some noise.
    image::GreyImage desktop = picturekit::Blank(1920, 1080, 236);
    for (int panel = 0; panel < 12; ++panel)
      picturekit::Paste(desktop, picturekit::Blank(300, 24, 90), 60 + panel * 150 % 1500,
                        40 + panel * 83);
    picturekit::AddNoise(desktop, 6, 11);
    picturekit::Paste(desktop, label, place.x, place.y);
    auto window = hostkit::HostTopLevelWindow::Create(
        server->display(), {.title = "desktop", .width = 1920, .height = 1080}, &error);
    if (!window) Fail(error);
    picturekit::ShowPicture(window->display(), window->id(), desktop);
    const Pair read = TimeBoth([&] { return image::ReadSymbols(grabber.GrabScreen()).size(); },
                               [&] { return FloorScreen(c, screen); });
    const Pair grab = TimeBoth([&] { return grabber.GrabScreen().size() > 0 ? 1u : 0u; },
                               [&] { return FloorGrab(c, screen); });
    std::printf(" %s\n", place.name);
    Row("grab + read", read);
    Row("of which the grab", grab);
  }
  xcb_disconnect(c);
}

// ---- file ---------------------------------------------------------------------

// A colour "photo": soft gradients, blotches and sensor noise, the label turned
// a little and a third of the way in.
void MakePhoto(const std::string& file, bool centred) {
  constexpr int kWidth = 4000, kHeight = 3000;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
  image::GreyImage label = picturekit::Turn(
      image::RenderLabel(kGs1, {image::Symbology::GS1DataMatrix, 10, 4, false}), 12.0, 1.0);
  std::uint32_t state = 5;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 28) - 8;
      int grey = 110 + x * 60 / kWidth + y * 40 / kHeight + noise;
      if (((x / 350) + (y / 260)) % 5 == 0) grey -= 40;  // blotches
      const int lx = x - (centred ? (kWidth - label.width()) / 2 : 1300);
      const int ly = y - (centred ? (kHeight - label.height()) / 2 : 900);
      if (lx >= 0 && ly >= 0 && lx < label.width() && ly < label.height())
        grey = label.row(ly)[lx] * 200 / 255 + 20 + noise;  // a printed label is never pure
      std::uint8_t* px =
          &rgb[(static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)) * 3];
      px[0] = static_cast<std::uint8_t>(std::clamp(grey + 12, 0, 255));
      px[1] = static_cast<std::uint8_t>(std::clamp(grey, 0, 255));
      px[2] = static_cast<std::uint8_t>(std::clamp(grey - 10, 0, 255));
    }
  }
  if (stbi_write_jpg(file.c_str(), kWidth, kHeight, 3, rgb.data(), 90) == 0)
    Fail("cannot write the JPEG");
}

std::size_t OursFile(const std::string& file) {
  return image::ReadSymbols(image::LoadImage(file)).size();
}

std::size_t FloorFile(const std::string& file) {
  int width = 0, height = 0, channels = 0;
  unsigned char* grey = stbi_load(file.c_str(), &width, &height, &channels, 1);
  if (grey == nullptr) Fail("stbi_load failed");
  const std::size_t found =
      ZXing::ReadBarcodes({grey, width, height, ZXing::ImageFormat::Lum}, FloorHints()).size();
  stbi_image_free(grey);
  return found;
}

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return -1;
}

// In a fresh process (so its high-water mark is its own): "<start rss> <hwm>" in kB.
std::pair<long, long> Peak(const char* self, const char* which, const std::string& file) {
  int out[2];
  if (pipe(out) != 0) Fail("pipe");
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    execl(self, self, "--peak", which, file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  char text[64] = {};
  const ssize_t got = read(out[0], text, sizeof text - 1);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  long start = 0, hwm = 0;
  if (got <= 0 || std::sscanf(text, "%ld %ld", &start, &hwm) != 2) Fail("the peak run failed");
  return {start, hwm};
}

void BenchFile(const char* self) {
  picturekit::TempFolder folder;
  for (const bool centred : {true, false}) {
    const std::string file = folder.File(centred ? "centred.jpg" : "photo.jpg");
    MakePhoto(file, centred);
    const Pair read = TimeBoth([&] { return OursFile(file); }, [&] { return FloorFile(file); });
    std::printf("photo 4000x3000 colour JPEG (%ld kB), one GS1 DataMatrix %s\n",
                static_cast<long>(picturekit::ReadBytes(file).size() / 1024),
                centred ? "in the middle" : "a third of the way in");
    Row("load + read", read);
    if (centred) continue;
    const double decodedKb = 4000.0 * 3000.0 / 1024.0;
    for (const char* which : {"ours", "floor"}) {
      const auto [start, hwm] = Peak(self, which, file);
      std::printf(
          "  peak memory, %-5s VmHWM %7ld kB, %7ld kB over the %ld kB at start = %.2fx the "
          "decoded image (%.0f kB)\n",
          which, hwm, hwm - start, start, static_cast<double>(hwm - start) / decodedKb, decodedKb);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) {
    const long start = StatusKb("VmRSS:");
    const std::size_t found =
        std::strcmp(argv[2], "ours") == 0 ? OursFile(argv[3]) : FloorFile(argv[3]);
    std::printf("%ld %ld\n", start, StatusKb("VmHWM:"));
    return found == 1 ? 0 : 1;
  }
  try {
    if (argc == 3 && std::strcmp(argv[1], "--photo") == 0) {
      MakePhoto(argv[2], false);
      return 0;
    }
    BenchScreen();
    BenchFile(argv[0]);
  } catch (const std::exception& error) {
    Fail(error.what());
  }
  return 0;
}
