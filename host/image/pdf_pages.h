// PDF pages as grey images, rendered by poppler-utils (pdfinfo for the page
// sizes, so an oversized page is refused before it is rendered; pdftoppm for
// the pixels), one page at a time through a private temporary folder.
#pragma once

#include <functional>
#include <string>

#include "host/image/image_file.h"

namespace image::detail {

void RenderPdfPages(const std::string& path, const LoadOptions& options,
                    const std::function<void(int page, GreyImage&& image)>& visit);

}  // namespace image::detail
