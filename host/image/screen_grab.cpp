#include "host/image/screen_grab.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/image/image_error.h"
#include "host/image/screen_state.h"

namespace image {
namespace {

// Rows asked for in one GetImage: a band of a few MB, so the grab never holds
// the screen twice (the server's reply and the grey copy), and the next band
// is on its way while one is converted.
constexpr std::size_t kBandBytes = 4u << 20;

// How a pixel of the grabbed image is laid out.
struct PixelLayout {
  int bytesPerPixel = 0;  // 2, 3 or 4
  std::size_t rowBytes = 0;
  bool lsbFirst = true;
  std::uint32_t masks[3] = {};  // red, green, blue
  int shifts[3] = {};
  int bits[3] = {};
};

int LowestBit(std::uint32_t mask) {
  int shift = 0;
  while (shift < 32 && (mask & (1u << shift)) == 0) ++shift;
  return shift;
}
int BitCount(std::uint32_t mask) { return __builtin_popcount(mask); }

const xcb_visualtype_t* FindVisual(const xcb_screen_t* screen, xcb_visualid_t id) {
  for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem != 0;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem != 0;
         xcb_visualtype_next(&visuals)) {
      if (visuals.data->visual_id == id) return visuals.data;
    }
  }
  return nullptr;
}

PixelLayout LayoutOf(xcb_connection_t* connection, const xcb_screen_t* screen, int width) {
  const xcb_setup_t* setup = xcb_get_setup(connection);
  PixelLayout layout;
  layout.lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  int bitsPerPixel = 0, pad = 32;
  for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem != 0;
       xcb_format_next(&formats)) {
    if (formats.data->depth == screen->root_depth) {
      bitsPerPixel = formats.data->bits_per_pixel;
      pad = formats.data->scanline_pad;
    }
  }
  const xcb_visualtype_t* visual = FindVisual(screen, screen->root_visual);
  if (visual == nullptr || (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) ||
      (visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR &&
       visual->_class != XCB_VISUAL_CLASS_DIRECT_COLOR))
    throw Error(Failure::GrabFailed,
                "the screen's pixel format (depth " + std::to_string(screen->root_depth) + ", " +
                    std::to_string(bitsPerPixel) +
                    " bits a pixel) is not one read here: 16, 24 or 32-bit true colour");
  layout.bytesPerPixel = bitsPerPixel / 8;
  const std::size_t rowBits =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel);
  const std::size_t padBits = static_cast<std::size_t>(pad);
  layout.rowBytes = (rowBits + padBits - 1) / padBits * padBits / 8;
  const std::uint32_t masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
  for (int c = 0; c < 3; ++c) {
    layout.masks[c] = masks[c];
    layout.shifts[c] = LowestBit(masks[c]);
    layout.bits[c] = BitCount(masks[c]);
  }
  return layout;
}

inline std::uint8_t Luma(unsigned r, unsigned g, unsigned b) {
  // zxing-cpp's own weights (ImageView.h), so a grab reads as its converter would.
  return static_cast<std::uint8_t>((306 * r + 601 * g + 117 * b + 0x200) >> 10);
}

// One band of the server's pixels to grey. Returns the OR of the grey values
// (zero: the band is black).
unsigned ConvertBand(const PixelLayout& layout, const std::uint8_t* data, int width, int rows,
                     std::uint8_t* out) {
  unsigned any = 0;
  const bool bgrx = layout.bytesPerPixel == 4 && layout.lsbFirst && layout.masks[0] == 0xff0000 &&
                    layout.masks[1] == 0xff00 && layout.masks[2] == 0xff;
  for (int y = 0; y < rows; ++y) {
    const std::uint8_t* in = data + static_cast<std::size_t>(y) * layout.rowBytes;
    std::uint8_t* grey = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    if (bgrx) {  // what nearly every server sends: blue, green, red, pad
      for (int x = 0; x < width; ++x, in += 4) {
        grey[x] = Luma(in[2], in[1], in[0]);
        any |= grey[x];
      }
      continue;
    }
    for (int x = 0; x < width; ++x, in += layout.bytesPerPixel) {
      std::uint32_t pixel = 0;
      for (int i = 0; i < layout.bytesPerPixel; ++i) {
        const int at = layout.lsbFirst ? layout.bytesPerPixel - 1 - i : i;
        pixel = (pixel << 8) | in[at];
      }
      unsigned channel[3];
      for (int c = 0; c < 3; ++c) {
        const std::uint32_t value = (pixel & layout.masks[c]) >> layout.shifts[c];
        // Scaled to 8 bits whatever the channel's width (5, 6, 8 or 10 bits).
        channel[c] = layout.bits[c] >= 8 ? value >> (layout.bits[c] - 8)
                                         : (value * 255u) / ((1u << layout.bits[c]) - 1u);
      }
      grey[x] = Luma(channel[0], channel[1], channel[2]);
      any |= grey[x];
    }
  }
  return any;
}

}  // namespace

std::string WindowText(std::uint32_t window) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", window);
  return text;
}

ScreenGrabber::ScreenGrabber(const std::string& display) : state_(std::make_unique<State>()) {
  const char* name = display.empty() ? std::getenv("DISPLAY") : display.c_str();
  state_->display = name != nullptr ? name : "";
  if (state_->display.empty()) throw Error(Failure::NoDisplay, "no X display: DISPLAY is not set");
  int screenNumber = 0;
  state_->connection = xcb_connect(state_->display.c_str(), &screenNumber);
  if (xcb_connection_has_error(state_->connection) != 0) {
    xcb_disconnect(state_->connection);
    state_->connection = nullptr;
    throw Error(Failure::NoDisplay, "cannot open the X display '" + state_->display + "'");
  }
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(state_->connection));
  for (int i = 0; i < screenNumber && screens.rem != 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) {
    xcb_disconnect(state_->connection);
    state_->connection = nullptr;
    throw Error(Failure::NoDisplay, "the X display '" + state_->display + "' has no such screen");
  }
  state_->screen = screens.data;
}

ScreenGrabber::~ScreenGrabber() {
  if (state_->connection != nullptr) xcb_disconnect(state_->connection);
}

Rect ScreenGrabber::ScreenRect() const {
  return {0, 0, state_->screen->width_in_pixels, state_->screen->height_in_pixels};
}

GreyImage ScreenGrabber::GrabScreen() { return GrabRegion(ScreenRect()); }

GreyImage ScreenGrabber::GrabRegion(const Rect& region) {
  const Rect screen = ScreenRect();
  // In 64 bits: a region from the command line may reach past INT_MAX.
  const int left = std::max(region.x, 0), top = std::max(region.y, 0);
  const int right = static_cast<int>(
      std::min<long long>(static_cast<long long>(region.x) + region.width, screen.width));
  const int bottom = static_cast<int>(
      std::min<long long>(static_cast<long long>(region.y) + region.height, screen.height));
  if (right <= left || bottom <= top)
    throw Error(Failure::NotViewable,
                "the region " + std::to_string(region.width) + "x" + std::to_string(region.height) +
                    "+" + std::to_string(region.x) + "+" + std::to_string(region.y) +
                    " is not on the screen (" + std::to_string(screen.width) + "x" +
                    std::to_string(screen.height) + ")");
  const int width = right - left, height = bottom - top;
  xcb_connection_t* c = state_->connection;
  const PixelLayout layout = LayoutOf(c, state_->screen, width);
  const int bandRows = static_cast<int>(
      std::max<std::size_t>(1, kBandBytes / std::max<std::size_t>(layout.rowBytes, 1)));
  auto request = [&](int y) {
    return xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, state_->screen->root,
                         static_cast<std::int16_t>(left), static_cast<std::int16_t>(top + y),
                         static_cast<std::uint16_t>(width),
                         static_cast<std::uint16_t>(std::min(bandRows, height - y)), ~0u);
  };
  GreyImage grey(width, height);
  unsigned any = 0;
  xcb_get_image_cookie_t next = request(0);
  for (int y = 0; y < height; y += bandRows) {
    const int rows = std::min(bandRows, height - y);
    xcb_generic_error_t* error = nullptr;
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(c, next, &error));
    if (y + bandRows < height) next = request(y + bandRows);
    if (reply == nullptr) {
      const int code = error != nullptr ? error->error_code : -1;
      std::free(error);
      throw Error(
          Failure::GrabFailed,
          "the X server refused to give the screen's pixels (" +
              (code < 0 ? std::string("connection lost") : "error " + std::to_string(code)) + ")");
    }
    const std::size_t length = static_cast<std::size_t>(xcb_get_image_data_length(reply.get()));
    if (length < layout.rowBytes * static_cast<std::size_t>(rows))
      throw Error(Failure::GrabFailed, "the X server sent fewer pixels than asked for");
    any |= ConvertBand(layout, xcb_get_image_data(reply.get()), width, rows, grey.row(y));
  }
  if (any == 0)
    throw Error(Failure::BlackGrab,
                "every grabbed pixel is black: on a Wayland desktop X programs cannot see the "
                "screen (Xwayland gives them black); take a screenshot with the desktop's own "
                "tool and read that file instead");
  return grey;
}

GreyImage ScreenGrabber::GrabWindow(std::uint32_t window) {
  xcb_connection_t* c = state_->connection;
  const auto attributesCookie = xcb_get_window_attributes(c, window);
  const auto geometryCookie = xcb_get_geometry(c, window);
  const auto placeCookie = xcb_translate_coordinates(c, window, state_->screen->root, 0, 0);
  XcbReply<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
  XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
  XcbReply<xcb_translate_coordinates_reply_t> place(
      xcb_translate_coordinates_reply(c, placeCookie, nullptr));
  if (attributes == nullptr || geometry == nullptr || place == nullptr)
    throw Error(Failure::NoWindow,
                "no window " + WindowText(window) + " on the display '" + state_->display + "'");
  if (attributes->map_state != XCB_MAP_STATE_VIEWABLE)
    throw Error(Failure::NotViewable,
                "window " + WindowText(window) +
                    " is not viewable (unmapped or minimised): show it, then grab it");
  return GrabRegion({place->dst_x, place->dst_y, geometry->width, geometry->height});
}

}  // namespace image
