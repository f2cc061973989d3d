// A scanner's eye: labels written by `wedgesim label`, read back off image
// files and off the screen by `scan`, and arriving in the application with
// exactly the bytes they encode; bad files each with their own status.
#include "tests/cli/cli_fixture.h"

namespace {

using namespace clitest;

// Every symbology the label command draws, its data and what a scanner
// sends for it (EAN, UPC and ITF with their check digits).
struct LabelCase {
  const char* symbology;
  const char* data;
  std::u16string sent;
};

const LabelCase kLabels[] = {
    {"datamatrix", "Тест DataMatrix", u"Тест DataMatrix"},
    {"qr", "https://example.org/лат?x=1", u"https://example.org/лат?x=1"},
    {"code128", "ABC-123/x", u"ABC-123/x"},
    {"ean13", "460000000000", u"4600000000008"},
    {"ean8", "4600000", u"46000002"},
    {"upca", "01234567890", u"012345678905"},
    {"itf14", "1460000000000", u"14600000000005"},
    {"pdf417", "pdf417 label", u"pdf417 label"},
    {"gs1-datamatrix", "(01)04600000000008(21)ABC(93)AbCd",
     u"010460000000000821ABC\x1d"
     u"93AbCd"},
    {"gs1-datamatrix", "(01)04600000000008(21)5Hg*7e(91)EE06(92)YxWgKJ9qmLm1wNjGF2YeSRDPq8gRwM",
     u"01046000000000082"
     u"15Hg*7e\x1d"
     u"91EE06\x1d"
     u"92YxWgKJ9qmLm1wNjGF2YeSRDPq8gRwM"},
    {"gs1-128", "(01)04600000000008(10)L1(17)261231",
     u"010460000000000810L1\x1d"
     u"17261231"},
    {"gs1-qr", "(01)04600000000008(21)XYZ", u"010460000000000821XYZ"},
};

TEST_F(Cli, EveryLabelReachesTheApplicationWithExactlyItsBytes) {
  auto listen = Listen();
  std::vector<std::vector<unsigned>> expected;
  for (const LabelCase& label : kLabels) {
    SCOPED_TRACE(label.symbology);
    const std::string file = config_ + "/" + label.symbology + ".png";
    const Result made = Run({"label", label.symbology, label.data, "-o", file});
    if (made.status == 3) GTEST_SKIP() << made.err;  // a build without libzint (x86)
    ASSERT_EQ(made.status, 0) << made.err;
    const Result scan = Run({"scan", "--image", file});
    ASSERT_EQ(scan.status, 0) << scan.err;
    expected.emplace_back(label.sent.begin(), label.sent.end());
  }
  // With --aim the symbology identifier comes first; --gs-as '' drops a GS,
  // as a keyboard wedge does; --repeat 2 is a double read.
  const std::string marking = config_ + "/gs1-datamatrix.png";
  ASSERT_EQ(Run({"scan", "--image", marking, "--aim", "--gs-as", "", "--repeat", "2"}).status, 0);
  const std::u16string wedge =
      u"]d2010460000000000821"
      u"5Hg*7e91EE0692YxWgKJ9qmLm1wNjGF2YeSRDPq8gRwM";
  expected.emplace_back(wedge.begin(), wedge.end());
  expected.emplace_back(wedge.begin(), wedge.end());

  std::vector<std::vector<unsigned>> received;
  for (const Json& event : Events(*listen)) received.push_back(event["units"]);
  EXPECT_EQ(received, expected);
}

// A file with no barcode, one that is no image, one cut short, one over the
// pixel limit and a --pick past the last: each its own status and a message.
TEST_F(Cli, ImagesThatCannotBeScannedEachGetTheirOwnStatus) {
  auto file = [&](const std::string& name, const std::string& bytes) {
    const std::string path = config_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  };
  const std::string white = file("white.pgm", "P5\n16 16\n255\n" + std::string(256, '\xff'));
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  } cases[] = {
      {{"scan", "--image", white}, 9, "no barcode"},
      {{"scan", "--image", file("text.png", "just text\n")}, 10, "not an image"},
      {{"scan", "--image", config_ + "/missing.png"}, 10, "cannot be read"},
      {{"scan", "--image", file("huge.pgm", "P5\n30000 30000\n255\n")}, 12, ""},
  };
  for (const auto& [arguments, status, message] : cases) {
    SCOPED_TRACE(arguments.back());
    std::vector<std::string> json = arguments;
    json.push_back("--json");
    const Result result = Run(json);
    EXPECT_EQ(result.status, status) << result.err;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_EQ(JsonLines(result.out).at(0)["exitStatus"], status);
  }
  // A PNG cut in half, and a --pick past its one barcode (where labels are built).
  const std::string label = config_ + "/label.png";
  if (Run({"label", "qr", "one", "-o", label}).status == 0) {
    const Result pick = Run({"scan", "--list", "--image", label, "--pick", "2"});
    EXPECT_EQ(pick.status, 9);
    EXPECT_NE(pick.err.find("holds 1 barcode, not 2"), std::string::npos) << pick.err;
    std::ifstream in(label, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const Result cut = Run({"scan", "--image", file("cut.png", bytes.substr(0, bytes.size() / 2))});
    EXPECT_EQ(cut.status, 11) << cut.err;
  }
}

// A marking code shown in a window of another X client is read off the
// screen, by the window's title and by the whole screen, into the application.
TEST_F(CliOnDesktop, AMarkingCodeOnTheScreenIsScannedIntoTheApplication) {
  const std::string label = config_ + "/marking.png";
  const Result made =
      Run({"label", "gs1-datamatrix", "(01)04600000000008(21)ABC(93)AbCd", "-o", label});
  if (made.status == 3) GTEST_SKIP() << made.err;
  ASSERT_EQ(made.status, 0) << made.err;
  auto listen = Listen({}, server_->display());
  // ImageMagick's viewer: another client, with a window of its own.
  const std::string command =
      "DISPLAY=" + server_->display() + " display -title 'label preview' " + label + " & echo $!";
  FILE* started = popen(command.c_str(), "r");
  ASSERT_NE(started, nullptr);
  int viewerPid = 0;
  ASSERT_EQ(fscanf(started, "%d", &viewerPid), 1);
  pclose(started);
  Result byTitle{};
  ASSERT_TRUE(hostkit::WaitUntil(
      [&] {
        byTitle = Run({"scan", "--window", "label preview"}, server_->display());
        return byTitle.status == 0;
      },
      10s))
      << byTitle.err;
  const Result whole = Run({"scan", "--whole-screen", "--json"}, server_->display());
  EXPECT_EQ(whole.status, 0) << whole.err;
  kill(viewerPid, SIGTERM);
  const std::vector<Json> events = Events(*listen);
  ASSERT_EQ(events.size(), 2u);
  for (const Json& event : events)
    EXPECT_EQ(event["data"],
              "010460000000000821ABC\x1d"
              "93AbCd");
}

}  // namespace
