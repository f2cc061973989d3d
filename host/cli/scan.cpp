// `wedgesim scan`: a test runner's side of the add-in's control channel. It
// does not load the library: it talks to the one loaded in the application
// (or in `wedgesim listen`), of either width, and each barcode is answered
// once the application has its event.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include "host/cli/app.h"
#include "host/cli/barcode.h"
#include "host/cli/device_choice.h"
#include "host/cli/errors.h"
#include "host/cli/image_input.h"
#include "host/cli/output.h"
#include "text/utf.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct ScanOptions {
  std::vector<std::string> codes, gs1, files, images;
  bool base64 = false, noCheck = false, dryRun = false;
  DeviceFilter filter;
  std::string wait, timeout = "10", interval = "0";
  // Reading what a scanner sees: the screen (its window, or as chosen).
  bool screen = false;
  ScreenChoice grab;
  std::string pick = "0", repeat = "1";
  // What a scanner's settings add: the AIM identifier, a prefix and suffix,
  // and GS sent as other text (or dropped, as a keyboard wedge may).
  bool aim = false;
  std::string prefix, suffix;
  std::optional<std::string> gsAs;
};

bool ReadsScreen(const ScanOptions& options) {
  return options.screen || !options.grab.window.empty() || !options.grab.region.empty() ||
         options.grab.whole;
}

// Set by SIGINT or SIGTERM: the scan being answered is waited for, then the
// run ends with its summary.
std::atomic<bool> interrupted{false};

void Interrupt(int) { interrupted = true; }

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = Interrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);  // no SA_RESTART: a wait ends at once
  sigaction(SIGTERM, &action, nullptr);
}

// The symbols found, as barcodes, and in the dry run as what they are.
void AddSymbols(const std::vector<FoundSymbol>& found, const ScanOptions& options,
                std::vector<Barcode>& barcodes,
                std::vector<std::optional<image::Symbol>>& symbols) {
  for (const FoundSymbol& symbol : found) {
    barcodes.push_back(SymbolBarcode(symbol, options.aim));
    symbols.resize(barcodes.size());
    symbols.back() = symbol.symbol;
  }
}

// What the scanner's settings make of a barcode.
Barcode Configured(Barcode barcode, const ScanOptions& options) {
  if (options.gsAs) {
    const std::u16string replacement = Unescape(*options.gsAs, "--gs-as");
    std::u16string data;
    for (const char16_t unit : barcode.data)
      data += unit == u'\x1d' ? replacement : std::u16string(1, unit);
    barcode.data = data;
  }
  barcode.data =
      Unescape(options.prefix, "--prefix") + barcode.data + Unescape(options.suffix, "--suffix");
  return barcode;
}

// The barcodes in the order of the command line, whichever way each came;
// `symbols` holds, for those read off an image or the screen, what they are.
std::vector<Barcode> Collect(const CLI::App& parser, const ScanOptions& options,
                             std::vector<std::optional<image::Symbol>>& symbols) {
  std::vector<Barcode> barcodes;
  std::size_t code = 0, notation = 0, file = 0, picture = 0;
  const int pick = static_cast<int>(ParseWhole(options.pick, "--pick", 0, 1000, "symbols"));
  bool screenRead = false;
  for (const CLI::Option* option : parser.parse_order()) {
    const std::string& name = option->get_name();
    if (name == "--image") {
      const std::string& path = options.images.at(picture++);
      AddSymbols(Picked(SymbolsOfFile(path), pick, path), options, barcodes, symbols);
    } else if (!screenRead && (name == "--screen" || name == "--window" || name == "--region" ||
                               name == "--whole-screen")) {
      screenRead = true;
      AddSymbols(Picked(SymbolsOnScreen(options.grab), pick, "the screen"), options, barcodes,
                 symbols);
    }
    if (name == "barcode") {
      const std::string& text = options.codes.at(code++);
      const std::string origin = "argument " + std::to_string(code);
      barcodes.push_back(options.base64 ? Base64Barcode(text, origin) : TextBarcode(text, origin));
    } else if (name == "--gs1") {
      const std::string& text = options.gs1.at(notation++);
      barcodes.push_back(Gs1Barcode(text, "--gs1 " + std::to_string(notation), !options.noCheck));
    } else if (name == "--file") {
      const std::string& path = options.files.at(file++);
      std::ifstream opened;
      std::istream* in = &std::cin;
      if (path != "-") {
        opened.open(path);
        if (!opened) throw CliError(kExitUsage, "scan --file: cannot read " + path);
        in = &opened;
      }
      for (Barcode& barcode :
           ReadBarcodeFile(*in, path == "-" ? "stdin" : path, options.base64, !options.noCheck))
        barcodes.push_back(std::move(barcode));
    }
  }
  if (barcodes.empty())
    throw CliError(kExitUsage,
                   "scan: nothing to scan (give barcodes, --gs1, --file, --image or --screen)");
  const long repeat = ParseWhole(options.repeat, "--repeat", 1, 100, "reads");
  std::vector<Barcode> configured;
  std::vector<std::optional<image::Symbol>> kinds;
  symbols.resize(barcodes.size());
  for (std::size_t i = 0; i < barcodes.size(); ++i)
    for (long read = 0; read < repeat; ++read) {
      configured.push_back(Configured(barcodes[i], options));
      kinds.push_back(symbols[i]);
    }
  symbols = std::move(kinds);
  return configured;
}

Json BarcodeJson(std::string_view type, bool ok, const Barcode& barcode, std::size_t index) {
  Json line = Record(type, ok);
  line["index"] = index;
  line["origin"] = barcode.origin;
  line["barcode"] = barcode.given;
  AddText(line, barcode.data);
  return line;
}

int DryRun(bool json, const std::vector<Barcode>& barcodes,
           const std::vector<std::optional<image::Symbol>>& symbols) {
  for (std::size_t i = 0; i < barcodes.size(); ++i) {
    const Barcode& barcode = barcodes[i];
    Json line = BarcodeJson("barcode", true, barcode, i + 1);
    std::string what;
    if (const auto& symbol = symbols.at(i)) {
      line["symbol"] = SymbolJson(*symbol);
      what = symbol->format + " " + symbol->symbologyId + (symbol->gs1 ? " GS1" : "") + " at " +
             std::to_string(symbol->corners[0].x) + "," + std::to_string(symbol->corners[0].y) +
             ", ";
    }
    Emit(json, line,
         std::to_string(i + 1) + "  " + Visible(barcode.data) + "  (" + what +
             std::to_string(barcode.data.size()) + " characters, from " + barcode.origin + ")");
  }
  Json summary = Record("summary");
  summary["sent"] = 0;
  summary["barcodes"] = barcodes.size();
  summary["dryRun"] = true;
  Emit(json, summary, Count(barcodes.size(), "barcode") + ", none sent (--dry-run)");
  return kExitOk;
}

// Sleeps between two scans, or less when interrupted.
void Pause(milliseconds interval) {
  const auto until = Clock::now() + interval;
  while (!interrupted && Clock::now() < until)
    std::this_thread::sleep_for(std::min<Clock::duration>(milliseconds(20), until - Clock::now()));
}

struct Tally {
  std::size_t sent = 0, refused = 0;
  int status = kExitOk;  // the run's, once it stops early
  std::string stopped;   // why it stopped early
};

// "ERR <reason> <why>": the reason word and the rest.
std::pair<std::string, std::string> ErrorOf(const std::string& reply) {
  const std::size_t blank = reply.find(' ', 4);
  return {reply.substr(4, blank == std::string::npos ? std::string::npos : blank - 4),
          blank == std::string::npos ? "" : reply.substr(blank + 1)};
}

int Send(const CommonOptions& common, const hostkit::Endpoint& device,
         const std::vector<Barcode>& barcodes, const std::vector<std::string>& lines,
         milliseconds timeout, milliseconds interval);

int Scan(const CLI::App& parser, const CommonOptions& common, ScanOptions& options) {
  const milliseconds timeout(
      static_cast<long>(ParseSeconds(options.timeout, "--timeout", 0.1, 3600) * 1000));
  const milliseconds interval(
      ParseWhole(options.interval, "--interval", 0, 3600000, "milliseconds"));
  const milliseconds wait(
      options.wait.empty()
          ? 0
          : static_cast<long>(ParseSeconds(options.wait, "--wait", 0, 86400) * 1000));
  // The screen, unless chosen otherwise, is the window of the application
  // scanned into: found first, then read.
  std::optional<hostkit::Endpoint> device;
  if (ReadsScreen(options) && options.grab.window.empty() && options.grab.region.empty() &&
      !options.grab.whole) {
    if (!options.dryRun) {
      device = ChooseDevice(options.filter, wait, timeout);
    } else if (const auto open = Matching(hostkit::FindEndpoints(timeout), options.filter);
               open.size() == 1) {
      device = open.front();
    }
    options.grab.pid = device ? device->pid : 0;
  }
  std::vector<std::optional<image::Symbol>> symbols;
  const std::vector<Barcode> barcodes = Collect(parser, options, symbols);
  // Each refused now as the channel would refuse it, before anything is sent.
  std::vector<std::string> lines;
  for (const Barcode& barcode : barcodes) lines.push_back(ChannelLine(barcode));
  if (options.dryRun) return DryRun(common.json, barcodes, symbols);

  CatchStopSignals();
  if (!device) device = ChooseDevice(options.filter, wait, timeout);
  return Send(common, *device, barcodes, lines, timeout, interval);
}

int Send(const CommonOptions& common, const hostkit::Endpoint& device,
         const std::vector<Barcode>& barcodes, const std::vector<std::string>& lines,
         milliseconds timeout, milliseconds interval) {
  hostkit::ChannelClient channel(device.path, timeout);
  channel.SetInterrupt(&interrupted);
  if (!channel.ok() || !channel.ReadLine(timeout))
    throw CliError(kExitTimedOut, "the device of " + DeviceText(device) + " is not answering");

  const bool progress = !common.json && barcodes.size() > 20 && isatty(STDERR_FILENO) == 1;
  auto shown = Clock::now();
  const auto start = Clock::now();
  Tally tally;
  for (std::size_t i = 0; i < barcodes.size() && tally.stopped.empty(); ++i) {
    if (i > 0 && interval.count() > 0) Pause(interval);
    if (interrupted) {
      tally = {tally.sent, tally.refused, kExitPartly, "interrupted"};
      break;
    }
    const auto sent = Clock::now();
    const auto reply = channel.Ask(lines[i], timeout);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    const Barcode& barcode = barcodes[i];
    if (reply && reply->rfind("OK ", 0) == 0) {
      ++tally.sent;
      Json line = BarcodeJson("scan", true, barcode, i + 1);
      line["pid"] = device.pid;
      line["ms"] = ms;
      if (common.json) {
        EmitJson(line);
      } else if (!progress) {
        char took[32];
        std::snprintf(took, sizeof took, "%.2f ms", ms);
        std::cout << "ok " << Visible(barcode.data) << " (" << barcode.data.size()
                  << " characters, " << took << ")" << std::endl;
      }
    } else if (reply && reply->rfind("ERR ", 0) == 0 && ErrorOf(*reply).first != "closed") {
      ++tally.refused;
      const auto [reason, why] = ErrorOf(*reply);
      Json line = BarcodeJson("scan", false, barcode, i + 1);
      line["error"] = reason;
      line["message"] = why;
      Emit(common.json, line, "refused " + Visible(barcode.data) + ": " + reason + ": " + why);
    } else {
      // Not answered: a device that closed, went away, or is not answering.
      if (reply) {
        tally.stopped = "the device closed before it was posted";
        tally.status = kExitPartly;
      } else if (interrupted) {
        tally.stopped = "interrupted";
        tally.status = kExitPartly;
      } else if (channel.closed()) {
        tally.stopped = "the device went away";
        tally.status = kExitPartly;
      } else {
        tally.stopped = "the device is not answering (stopped, or busy) after " +
                        std::to_string(timeout.count()) +
                        " ms; the scan may still be posted if it resumes";
        tally.status = kExitTimedOut;
      }
      Json line = BarcodeJson("scan", false, barcode, i + 1);
      line["error"] = ExitWord(tally.status);
      line["message"] = tally.stopped;
      Emit(common.json, line, "not sent " + Visible(barcode.data) + ": " + tally.stopped);
    }
    if (progress && (Clock::now() - shown > milliseconds(200) || i + 1 == barcodes.size())) {
      shown = Clock::now();
      std::fprintf(stderr, "\rsent %zu of %zu", tally.sent, barcodes.size());
      std::fflush(stderr);
    }
  }
  if (progress) std::fprintf(stderr, "\r\033[K");
  if (tally.status == kExitOk && tally.refused > 0) tally.status = kExitRefused;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Json summary = Record("summary", tally.status == kExitOk);
  summary["sent"] = tally.sent;
  summary["refused"] = tally.refused;
  summary["barcodes"] = barcodes.size();
  summary["pid"] = device.pid;
  summary["seconds"] = seconds;
  summary["exitStatus"] = tally.status;
  if (!tally.stopped.empty()) summary["stopped"] = tally.stopped;
  char took[32];
  std::snprintf(took, sizeof took, "%.2f s", seconds);
  Emit(common.json, summary,
       "sent " + std::to_string(tally.sent) + " of " + Count(barcodes.size(), "barcode") + " to " +
           DeviceText(device) + " in " + took +
           (tally.refused > 0 ? "; " + std::to_string(tally.refused) + " refused" : "") +
           (tally.stopped.empty() ? "" : "; stopped: " + tally.stopped));
  if (!tally.stopped.empty())
    std::cerr << "wedgesim: error: " << tally.stopped << std::endl;
  else if (tally.refused > 0)
    std::cerr << "wedgesim: error: the device refused " << tally.refused << " of "
              << Count(barcodes.size(), "barcode") << std::endl;
  return tally.status;
}

}  // namespace

Subcommand AddScan(CLI::App& app, const CommonOptions& common) {
  auto options = std::make_shared<ScanOptions>();
  CLI::App* parser = app.add_subcommand(
      "scan",
      "scan barcodes into an open device (the application's, or listen's) through its control "
      "channel, each answered once the application has the event");
  parser->group("Commands");
  parser->add_option("barcode", options->codes, "barcodes, in UTF-8 (a GS is kept as it is)");
  parser
      ->add_option("--gs1", options->gs1,
                   "a GS1 code in AI notation, (01)04600000000008(21)ABC, or a GS1 Digital "
                   "Link URI; built into its element string and checked against GS1's rules")
      ->type_name("NOTATION")
      ->allow_extra_args(false);
  parser
      ->add_option("--file", options->files,
                   "one barcode a line (- is standard input); # comments, gs1: lines, escapes")
      ->type_name("FILE")
      ->allow_extra_args(false);
  parser->add_flag("--base64", options->base64,
                   "each barcode (and --file line) is Base64 of raw bytes, one character each");
  parser->add_flag("--no-check", options->noCheck,
                   "build GS1 codes GS1 would refuse (for negative tests)");
  parser->add_flag("--dry-run,--list", options->dryRun,
                   "print the exact characters each barcode becomes (and what each symbol read "
                   "off an image or the screen is), and send nothing");
  parser
      ->add_option("--image", options->images,
                   "read every barcode of these image files (PNG, JPEG, PNM; PDF pages with "
                   "poppler-utils) in reading order")
      ->type_name("FILE");
  parser->add_flag("--screen", options->screen,
                   "read the barcodes the application's window shows (the whole screen with "
                   "--list when no device is open)");
  parser
      ->add_option("--window", options->grab.window,
                   "read the barcodes of this window (an id, 0x..., or its title)")
      ->type_name("WINDOW");
  parser
      ->add_option("--region", options->grab.region,
                   "read the barcodes of this part of the screen, 640x480+0+0")
      ->type_name("GEOMETRY");
  parser->add_flag("--whole-screen", options->grab.whole, "read the barcodes of the whole screen");
  parser
      ->add_option("--pick", options->pick,
                   "scan only the Nth barcode of each image (or of the screen)")
      ->type_name("N");
  parser->add_flag("--aim", options->aim,
                   "put the symbology identifier (]d2, ]C1, ]Q3...) before a barcode read off an "
                   "image, as a scanner set to send AIM identifiers does");
  parser->add_option("--prefix", options->prefix,
                     "text before every barcode (escapes as in files: \\n, \\t, \\xHH)");
  parser->add_option("--suffix", options->suffix, "text after every barcode (\\n for Enter)");
  parser->add_option("--gs-as", options->gsAs,
                     "send each GS as this text instead ('' drops it, as a keyboard wedge may)");
  parser
      ->add_option("--repeat", options->repeat, "send each barcode this many times (a double read)")
      ->type_name("N");
  parser->add_option("--pid", options->filter.pid, "the process whose device to scan into")
      ->type_name("PID");
  parser
      ->add_option("--display", options->filter.display,
                   "the device of the application on this X display")
      ->type_name("DISPLAY");
  parser->add_option("--name", options->filter.name, "the device of the program of this name")
      ->type_name("PROGRAM");
  parser
      ->add_option("--socket", options->filter.socket,
                   "the endpoint at this path (a socket forwarded with ssh -L)")
      ->type_name("PATH");
  parser->add_flag("--wait{30}", options->wait,
                   "wait for the device to open, up to --wait=SECONDS (30 without a value)");
  parser
      ->add_option("--timeout", options->timeout,
                   "seconds to wait for each answer of the device (default 10)")
      ->type_name("SECONDS");
  parser->add_option("--interval", options->interval, "milliseconds between two scans")
      ->type_name("MS");
  return {parser, [parser, &common, options] { return Scan(*parser, common, *options); }};
}

}  // namespace cli
