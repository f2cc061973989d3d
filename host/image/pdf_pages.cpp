#include "host/image/pdf_pages.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "host/desktop/process.h"
#include "host/image/image_error.h"

namespace image::detail {
namespace {

namespace process = hostkit::process;

// Long enough for a large page at 300 dpi on a slow machine, short enough that
// a wedged renderer does not hang the command.
constexpr std::chrono::seconds kToolTimeout{120};

struct PageSize {
  double widthPt = 0, heightPt = 0;
};

// A private folder for the rendered pages, removed with what is left in it.
class TempFolder {
 public:
  TempFolder() {
    const char* base = std::getenv("TMPDIR");
    path_ = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/wedgesim-pdf-XXXXXX";
    if (mkdtemp(path_.data()) == nullptr)
      throw Error(Failure::PdfFailed, process::ErrnoText("cannot make a temporary folder"));
  }
  ~TempFolder() {
    if (DIR* dir = opendir(path_.c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") unlink((path_ + "/" + name).c_str());
      }
      closedir(dir);
    }
    rmdir(path_.c_str());
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs a poppler tool to its end; its standard output is returned, and a
// failure becomes PdfFailed with the end of what it wrote on stderr.
std::string RunTool(const std::string& program, const std::vector<std::string>& args,
                    const std::string& pdf) {
  const std::string path = process::FindInPath(program);
  if (path.empty())
    throw Error(Failure::PdfToolMissing,
                pdf + ": a PDF, and reading it needs " + program +
                    " (Debian package poppler-utils), which is not installed");
  process::UniqueFd out = process::MakeLog("pdf-out");
  process::UniqueFd err = process::MakeLog("pdf-err");
  const process::UniqueFd in = process::Elevate(open("/dev/null", O_RDONLY | O_CLOEXEC));
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string problem;
  pid_t pid = process::Spawn(path, argv, process::Environment(),
                             {in.get(), out.get(), err.get(), -1}, &problem);
  if (pid < 0) throw Error(Failure::PdfFailed, pdf + ": cannot start " + program + ": " + problem);
  int status = 0;
  if (!process::ReapUntil(pid, std::chrono::steady_clock::now() + kToolTimeout, &status)) {
    process::Terminate(pid, std::chrono::seconds(1));
    throw Error(Failure::PdfFailed, pdf + ": " + program + " did not finish within " +
                                        std::to_string(kToolTimeout.count()) + " s");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw Error(Failure::PdfFailed, pdf + ": " + program + " " + process::DescribeStatus(status) +
                                        process::ReadTail(err.get()));
  std::string text;
  const off_t size = lseek(out.get(), 0, SEEK_END);
  text.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  const ssize_t got = pread(out.get(), text.data(), text.size(), 0);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

// pdfinfo's "Page    N size: W x H pts" lines, in page order.
std::vector<PageSize> PageSizes(const std::string& pdf) {
  const std::string info = RunTool("pdfinfo", {"-f", "1", "-l", "1000000", pdf}, pdf);
  std::vector<PageSize> pages;
  std::istringstream lines(info);
  std::string line;
  while (std::getline(lines, line)) {
    int number = 0;
    PageSize size;
    if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &number, &size.widthPt,
                    &size.heightPt) == 3)
      pages.push_back(size);
  }
  if (pages.empty()) throw Error(Failure::PdfFailed, pdf + ": pdfinfo found no pages in it");
  return pages;
}

}  // namespace

void RenderPdfPages(const std::string& path, const LoadOptions& options,
                    const std::function<void(int page, GreyImage&& image)>& visit) {
  const std::vector<PageSize> pages = PageSizes(path);
  const TempFolder folder;
  const std::string dpi = std::to_string(options.pdfDpi);
  for (std::size_t index = 0; index < pages.size(); ++index) {
    const int page = static_cast<int>(index) + 1;
    const double scale = options.pdfDpi / 72.0;
    const double pixels =
        std::ceil(pages[index].widthPt * scale) * std::ceil(pages[index].heightPt * scale);
    if (pixels > static_cast<double>(options.maxPixels)) {
      std::string message = path;
      message += ": page " + std::to_string(page) + " at " + dpi + " dpi would be ";
      message += std::to_string(std::llround(pixels)) + " pixels, over the limit of ";
      message += std::to_string(options.maxPixels);
      throw Error(Failure::TooLarge, message);
    }
    const std::string prefix = folder.path() + "/page";
    RunTool("pdftoppm",
            {"-gray", "-r", dpi, "-f", std::to_string(page), "-l", std::to_string(page),
             "-singlefile", path, prefix},
            path);
    const std::string rendered = prefix + ".pgm";
    GreyImage picture = LoadImage(rendered, options);
    unlink(rendered.c_str());
    visit(page, std::move(picture));
  }
}

}  // namespace image::detail
