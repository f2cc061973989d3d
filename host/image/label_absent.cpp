// The label renderer of a build without libzint (Debian 12's libzint-dev is
// amd64-only in practice: it installs /usr/lib/libzint.so, so its i386 twin
// cannot be installed beside it).
#include "host/image/image_error.h"
#include "host/image/label.h"

namespace image {

bool LabelsBuilt() { return false; }

GreyImage RenderLabel(std::string_view, const LabelOptions&) {
  throw Error(Failure::LabelUnavailable,
              "this wedgesim was built without libzint, so it cannot render labels (the release "
              "archive's commands can)");
}

}  // namespace image
