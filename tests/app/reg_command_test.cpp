// `vidazoz reg` against Wine's own reg: the same commands on two copies of one booted prefix,
// compared by exit status, by output (ours with --crlf, messages from stderr where Wine mixes
// them into stdout), and by the registry each left behind.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "../wineprefix/registry_fixture.h"
#include "reg_command_steps.h"
#include "temp_dir.h"
#include "wine_prefix.h"

namespace vidazoz::testing {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Ours(const fs::path& prefix, const std::vector<std::string>& args, bool crlf = true) {
  const TempDir dir("vidazoz-reg-cli");
  const fs::path err = dir.Path() / "stderr";
  std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>" + err.string() + " </dev/null", VIDAZOZ_EXE,
                                "reg"};
  if (crlf) argv.push_back("--crlf");
  argv.insert(argv.end(), args.begin(), args.end());
  const CommandResult r = RunCommand(argv, {{"WINEPREFIX", prefix.string()}, {"HOME", dir.Path().string()}});
  std::ifstream in(err);
  return {r.exitCode, r.output, std::string(std::istreambuf_iterator<char>(in), {})};
}

// Wine's reg, its arguments read as UTF-8, after which its server has saved and gone. Under load
// one of Wine's own processes now and then crashes beside reg ("wine: Unhandled page fault ...,
// starting debugger..."), with reg's answer whole after it: that line is Wine's, not reg's.
// Rarer still (about one start in 600), reg dies silently on the way up with status 1; reg itself
// always says why it fails, so a silent failure is started again.
CommandResult Wines(const WinePrefix& prefix, const std::vector<std::string>& args) {
  std::vector<std::string> argv{"wine", "reg"};
  argv.insert(argv.end(), args.begin(), args.end());
  CommandResult r = prefix.Wine(argv, {{"LC_ALL", "C.UTF-8"}});
  for (int again = 0; again < 2 && r.exitCode != 0 && r.output.empty(); ++again)
    r = prefix.Wine(argv, {{"LC_ALL", "C.UTF-8"}});
  std::string answer;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);)
    if (!line.starts_with("wine: Unhandled ")) answer += line + (lines.eof() ? "" : "\n");
  r.output = std::move(answer);
  return r;
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The line of a .reg file that holds `needle`.
std::string LineWith(const std::string& text, const std::string& needle) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find(needle) != std::string::npos) return line;
  return "(none)";
}

bool SameCase(std::string a, std::string_view b) {
  for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return a == b;
}

// A step's arguments with its export file named.
std::vector<std::string> WithFile(std::vector<std::string> args, const std::string& file) {
  for (std::string& a : args)
    if (a == kRegFile) a = file;
  return args;
}

// A path as Wine names it, by its drive Z: (Wine takes an argument starting with / for a switch).
std::string WineName(const fs::path& path) {
  std::string name = "Z:" + path.string();
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

TEST(RegCommand, AnswersAsWinesRegDoesOnTheSamePrefix) {
  const auto wine = WinePrefix::Booted();
  const auto ours = WinePrefix::Booted();
  const std::string K = RegStepKey("T");
  const TempDir files("vidazoz-reg-export");
  for (const RegStep& step : RegCommandSteps("T")) {
    std::string name;
    for (const auto& a : step.args) name += a + " ";
    const fs::path wineFile = files.Path() / "wine.reg", ourFile = files.Path() / "ours.reg";
    fs::remove(wineFile);
    fs::remove(ourFile);
    const CommandResult theirs = Wines(*wine, WithFile(step.args, WineName(wineFile)));
    const Outcome mine = Ours(ours->Path(), WithFile(step.args, ourFile.string()));
    EXPECT_EQ(fs::exists(ourFile), fs::exists(wineFile)) << name;
    if (fs::exists(wineFile)) {
      const std::string exported = FileText(wineFile);
      EXPECT_EQ(FileText(ourFile), exported) << name;
      EXPECT_GT(exported.size(), 100u) << name;
    }
    EXPECT_EQ(mine.status, theirs.exitCode) << name << "\nours:\n" << mine.out << mine.err << "\nWine's:\n"
                                            << theirs.output;
    if (step.compare == RegCompare::Output) {
      EXPECT_EQ(mine.out + mine.err, theirs.output) << name;
      EXPECT_EQ(mine.err.empty(), mine.status == 0 && (step.args[0] == "query" || SameCase(step.args[0], "export") ||
                                                            SameCase(step.args[0], "copy"))) << name << ": messages on stderr";
    } else if (mine.status != 0) {
      EXPECT_NE(mine.err, "") << name << ": a refusal says why";
      EXPECT_EQ(mine.out, "") << name;
    }
  }

  // What each left behind, read the same way: by our query of both prefixes.
  for (const std::vector<std::string>& query : RegStepResultQueries("T")) {
    const Outcome a = Ours(wine->Path(), query, false), b = Ours(ours->Path(), query, false);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.out, b.out) << query[1];
  }
  const Outcome q = Ours(ours->Path(), {"query", K, "/v", "q"}, false);
  EXPECT_NE(q.out.find("    q    REG_QWORD    0x1f\n"), std::string::npos) << q.out;
  const Outcome unicode = Ours(ours->Path(), {"query", K, "/v", "café 日本"}, false);
  EXPECT_NE(unicode.out.find("    café 日本    REG_SZ    データ\n"), std::string::npos) << unicode.out;
  // The files hold the same escaped line, whoever wrote it.
  const std::string wineLine = LineWith(FileText(wine->File("user.reg")), "\"caf\\xe9");
  EXPECT_NE(wineLine, "(none)");
  EXPECT_EQ(LineWith(FileText(ours->File("user.reg")), "\"caf\\xe9"), wineLine);
}

std::string Utf16File(std::u16string_view text) {
  std::string bytes = "\xff\xfe";
  for (char16_t u : text) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

// Each file imported by Wine's reg and by ours into two copies of one prefix; the registries
// they leave are compared by our query, and what it shows is checked against the file's text.
TEST(RegCommand, ImportsAsWinesRegDoesOnTheSamePrefix) {
  const auto wine = WinePrefix::Booted();
  const auto ours = WinePrefix::Booted();
  const TempDir dir("vidazoz-reg-import");
  const std::string K = "HKEY_CURRENT_USER\\Software\\VzI";
  const struct {
    std::string bytes;
    std::string expect;  // a line our query of the result must show
  } files[] = {
      {Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
                 u"[HKEY_CURRENT_USER\\Software\\VzI\\A]\r\n"
                 u"@=\"def\"\r\n"
                 u"\"s\"=\"a \\\"q\\\" \\\\ b\"\r\n"
                 u"\"caf\u00e9 \u65e5\"=\"\u30c7\u30fc\u30bf\"\r\n"
                 u"\"d\"=dword:0000001f\r\n"
                 u"\"b\"=hex:01,02,\\\r\n  03,ff\r\n"
                 u"\"e\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"
                 u"\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                 u"\"gone\"=\"x\"\r\n"
                 u"\"gone\"=-\r\n"
                 u"; a comment\r\n"
                 u"[HKEY_CURRENT_USER\\Software\\VzI\\A\\Drop\\Deep]\r\n"
                 u"\"x\"=\"1\"\r\n"
                 u"[-HKEY_CURRENT_USER\\Software\\VzI\\A\\Drop]\r\n"
                 u"[HKEY_CURRENT_USER\\Software\\VzI\\A\\Kept]\r\n\r\n"),
       "    café 日    REG_SZ    データ"},
      {"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\VzI\\Four]\r\n\"n\xe9\"=\"d\xe9j\xe0\"\r\n"
       "\"e\"=hex(2):25,50,41,54,48,25,00\r\n\"m\"=hex(7):61,00,62,00,00\r\n\"d\"=dword:ffffffff\r\n",
       "    né    REG_SZ    déjà"},
  };
  int n = 0;
  for (const auto& f : files) {
    const fs::path file = dir.Path() / ("f" + std::to_string(n++) + ".reg");
    std::ofstream(file, std::ios::binary) << f.bytes;
    const CommandResult theirs = Wines(*wine, {"import", WineName(file)});
    const Outcome mine = Ours(ours->Path(), {"import", file.string()});
    EXPECT_EQ(mine.status, theirs.exitCode) << file << mine.err;
    EXPECT_EQ(mine.out + mine.err, theirs.output) << file;
  }
  const Outcome a = Ours(wine->Path(), {"query", K, "/s"}, false), b = Ours(ours->Path(), {"query", K, "/s"}, false);
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(b.out, a.out);
  for (const auto& f : files) EXPECT_NE(b.out.find(f.expect + "\n"), std::string::npos) << f.expect << "\n" << b.out;
  for (const char* line : {"    b    REG_BINARY    010203FF\n", "    e    REG_EXPAND_SZ    %PATH%\n",
                           "    m    REG_MULTI_SZ    a\\0b\n", "HKEY_CURRENT_USER\\Software\\VzI\\A\\Kept\n"})
    EXPECT_NE(b.out.find(line), std::string::npos) << line << b.out;
  EXPECT_EQ(b.out.find("Drop"), std::string::npos) << b.out;
  EXPECT_EQ(b.out.find("gone"), std::string::npos) << b.out;
}

// Where Wine's answer is a fault, ours differs on purpose; and nothing is made where no
// registry is.
TEST(RegCommand, DiffersFromWineWhereWinesAnswerIsAFault) {
  const auto prefix = WinePrefix::Booted();
  const fs::path p = prefix->Path();
  const std::string K = "HKCU\\Software\\VzD";
  ASSERT_EQ(Ours(p, {"add", K, "/ve", "/d", "keep", "/f"}).status, 0);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;  // a part of stderr
  } cases[] = {
      {{"add", K, "/f"}, 0, "completed successfully"},  // Wine empties the default value here
      {{"add", K, "/ve", "/d", "other"}, 0, "overwrite it? (Yes|No) No"},  // no terminal: No
      {{"add", K + "\\New", "/v", "d", "/t", "REG_DWORD", "/d", "", "/f"}, 1, "must be a number"},
      {{"add", K + "\\New", "/v", "q", "/t", "REG_QWORD", "/f"}, 1, "must be a number"},
      {{"add", K + "\\New", "/v", "q", "/t", "REG_QWORD", "/d", "-1", "/f"}, 1, "must be a number"},
      {{"add", K + "\\New", "/v", "d", "/t", "REG_DWORD", "/d", "4294967296", "/f"}, 1, "must be a number"},
      {{"delete", "HKCU", "/f"}, 1, "Refusing to delete the whole root HKEY_CURRENT_USER"},
      {{"delete", K}, 0, "(Yes|No)? No"},
      {{"copy", K, K + "\\Inside", "/s", "/f"}, 1, "into its own sub-tree"},  // Wine recurses to the path limit
      {{"copy", K, "HKCU\\Software", "/f"}, 0, ""},
      {{"copy", K, "HKCU\\Software"}, 0, "already exists. Do you want to overwrite it? (Yes|No) No"},
  };
  for (const auto& c : cases) {
    std::string name;
    for (const auto& a : c.args) name += a + " ";
    const Outcome r = Ours(p, c.args, false);
    EXPECT_EQ(r.status, c.status) << name << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << name << r.err;
  }
  const Outcome kept = Ours(p, {"query", K, "/ve"}, false);
  EXPECT_EQ(kept.out, "\nHKEY_CURRENT_USER\\Software\\VzD\n    (Default)    REG_SZ    keep\n\n");
  EXPECT_EQ(Ours(p, {"query", "HKCU\\Software\\VzD\\New"}, false).status, 1) << "a refused add made no key";
  EXPECT_EQ(Ours(p, {"query", "HKCU\\Software\\VzD\\Inside"}, false).status, 1) << "a refused copy made no key";

  // export: an absolute path is a file; what is there is replaced only with /y, and a link there
  // is replaced, never written through; a failed write leaves nothing behind.
  {
    const TempDir out("vidazoz-reg-export");
    const fs::path file = out.Path() / "k.reg", elsewhere = out.Path() / "elsewhere", link = out.Path() / "link.reg";
    std::ofstream(file) << "mine";
    std::ofstream(elsewhere) << "theirs";
    fs::create_symlink(elsewhere, link);
    const Outcome kept = Ours(p, {"export", K, file.string()}, false);
    EXPECT_EQ(kept.status, 0);
    EXPECT_NE(kept.err.find("already exists. Do you want to overwrite it? (Yes|No) No"), std::string::npos) << kept.err;
    EXPECT_EQ(FileText(file), "mine");
    const std::string exported = "\xff\xfeW\0i\0n\0d\0o\0w\0s\0";
    EXPECT_EQ(Ours(p, {"export", K, file.string(), "/y"}, false).status, 0);
    EXPECT_EQ(FileText(file).substr(0, exported.size()), exported);
    EXPECT_EQ(Ours(p, {"export", K, link.string(), "-y"}, false).status, 0);
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(FileText(link), FileText(file));
    EXPECT_EQ(FileText(elsewhere), "theirs");
    for (const fs::path& bad : {out.Path() / "no" / "k.reg", out.Path()}) {
      const Outcome r = Ours(p, {"export", K, bad.string(), "/y"}, false);
      EXPECT_EQ(r.status, 1) << bad;
      EXPECT_NE(r.err.find("reg: "), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(out.Path() / "no"));
    EXPECT_EQ(std::distance(fs::directory_iterator(out.Path()), fs::directory_iterator()), 3) << "no stray file";
  }

  // --json: one line per key, data in a form a script reads.
  ASSERT_EQ(Ours(p, {"add", K + "\\Sub", "/v", "n", "/t", "REG_QWORD", "/d", "18446744073709551615", "/f"}).status, 0);
  ASSERT_EQ(Ours(p, {"add", K + "\\Sub", "/v", "m \"q\"", "/t", "REG_MULTI_SZ", "/d", "x\\0y", "/f"}).status, 0);
  ASSERT_EQ(Ours(p, {"add", K + "\\Sub", "/v", "b", "/t", "REG_BINARY", "/d", "00Ff", "/f"}).status, 0);
  const Outcome json = Ours(p, {"query", K, "/s", "--json"}, false);
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out,
            "{\"path\":\"HKEY_CURRENT_USER\\\\Software\\\\VzD\",\"values\":[{\"name\":\"\",\"type\":\"REG_SZ\","
            "\"data\":\"keep\"}],\"subkeys\":[\"Sub\"]}\n"
            "{\"path\":\"HKEY_CURRENT_USER\\\\Software\\\\VzD\\\\Sub\",\"values\":["
            "{\"name\":\"b\",\"type\":\"REG_BINARY\",\"data\":\"00ff\"},"
            "{\"name\":\"m \\\"q\\\"\",\"type\":\"REG_MULTI_SZ\",\"data\":[\"x\",\"y\"]},"
            "{\"name\":\"n\",\"type\":\"REG_QWORD\",\"data\":18446744073709551615}],\"subkeys\":[]}\n");
  EXPECT_EQ(Ours(p, {"query", K, "/ve", "--json"}, false).status, 1) << "--json shows whole keys";

  // A key whose sub-key links back to it: /s and delete stop at Windows' nesting limit, say so,
  // and delete nothing.
  ASSERT_EQ(Ours(p, {"add", "HKCU\\Software\\VzLoop", "/v", "kept", "/d", "1", "/f"}).status, 0);
  {
    std::string target;
    for (char c : std::string("\\Registry\\User\\S-1-5-21-0-0-0-1000\\Software\\VzLoop")) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "%s%02x,00", target.empty() ? "" : ",", static_cast<unsigned char>(c));
      target += byte;
    }
    std::ofstream(prefix->File("user.reg"), std::ios::app)
        << "\n[Software\\\\VzLoop\\\\Back] 1700000000\n#link\n\"SymbolicLinkValue\"=hex(6):" << target << "\n";
  }
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"query", "HKCU\\Software\\VzLoop", "/s"},
        {"query", "HKCU\\Software\\VzLoop", "/v", "kept", "/s"},
        {"delete", "HKCU\\Software\\VzLoop", "/f"}}) {
    const Outcome r = Ours(p, args, false);
    EXPECT_EQ(r.status, 1) << args[0] << r.err;
    EXPECT_NE(r.err.find("deeper than 512 levels"), std::string::npos) << args[0] << r.err;
  }
  EXPECT_NE(Ours(p, {"query", "HKCU\\Software\\VzLoop\\Back\\Back", "/v", "kept"}, false).out.find("kept"),
            std::string::npos)
      << "the loop is still there, whole";

  // import: a refused file says why and changes nothing; a UTF-8 BOM is read; a UTF-16 file's
  // hex(2) data is not widened again under a REGEDIT4 header.
  {
    const TempDir in("vidazoz-reg-import");
    const std::string key = "[HKEY_CURRENT_USER\\Software\\VzD\\Imp]\r\n";
    const struct {
      std::string bytes;
      int status;
      std::string err;    // a part of stderr
      std::string shown;  // a part of our query of the key afterwards ("" for no key)
    } imports[] = {
        {"REGEDIT5\r\n" + key + "\"v\"=\"1\"\r\n", 1, "line 1: the first line must be", ""},
        {"\r\n" + key, 1, "line 1: the first line must be", ""},
        {"REGEDIT4\r\n" + key + "\"v\"=\"1\"\r\n\"w\"=hex:zz\r\n", 1, "line 4: hex data", ""},
        {"REGEDIT4\r\n\"v\"=\"1\"\r\n", 1, "line 2: a value outside any key", ""},
        {"REGEDIT4\r\n" + key + "\"v\"=hex:01,\\\r\n", 1, "past the end of the file", ""},
        {"REGEDIT4\r\n" + key + "\"v\"=\"open\r\n", 1, "closing quote", ""},
        {"REGEDIT4\r\n[-HKEY_CURRENT_USER]\r\n", 1, "whole root", ""},
        {"\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n" + key + "\"u\"=\"\xc3\xa9t\xc3\xa9\"\r\n", 0, "",
         "    u    REG_SZ    été"},
        {Utf16File(u"REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\VzD\\Imp]\r\n\"x\"=hex(2):41,00,00,00\r\n"), 0, "",
         "    x    REG_EXPAND_SZ    A"},
    };
    int n = 0;
    for (const auto& c : imports) {
      const fs::path file = in.Path() / ("i" + std::to_string(n++) + ".reg");
      std::ofstream(file, std::ios::binary) << c.bytes;
      const Outcome r = Ours(p, {"import", file.string()}, false);
      EXPECT_EQ(r.status, c.status) << n << r.err;
      EXPECT_NE(r.err.find(c.err), std::string::npos) << n << r.err;
      const Outcome q = Ours(p, {"query", "HKCU\\Software\\VzD\\Imp"}, false);
      if (c.shown.empty()) {
        EXPECT_EQ(q.status, 1) << n << ": a refused file changed nothing\n" << q.out;
      } else {
        EXPECT_NE(q.out.find(c.shown + "\n"), std::string::npos) << n << q.out;
        ASSERT_EQ(Ours(p, {"delete", "HKCU\\Software\\VzD\\Imp", "/f"}).status, 0);
      }
    }
    EXPECT_NE(Ours(p, {"import", (in.Path() / "missing.reg").string()}, false).err.find("Unable to open"),
              std::string::npos);
  }

  // compare: Windows' answer, a line per difference and its verdict; exit 0 same, 2 different.
  {
    const std::string A = "HKCU\\Software\\VzC\\A", B = "HKCU\\Software\\VzC\\B";
    const std::string LA = "HKEY_CURRENT_USER\\Software\\VzC\\A", LB = "HKEY_CURRENT_USER\\Software\\VzC\\B";
    for (const std::vector<std::string>& setup :
         {std::vector<std::string>{"add", A, "/v", "v", "/d", "1", "/f"},
          {"add", A, "/v", "w", "/t", "REG_DWORD", "/d", "2", "/f"},
          {"add", A + "\\Sub", "/v", "x", "/d", "1", "/f"},
          {"copy", A, B, "/s", "/f"}})
      ASSERT_EQ(Ours(p, setup).status, 0) << setup[0];
    const struct {
      std::vector<std::string> change;  // made first, when not empty
      std::vector<std::string> args;
      int status;
      std::string out;  // a part of stdout, or of stderr on failure
    } compares[] = {
        {{}, {"compare", A, B, "/s"}, 0, "\nResult Compared: Identical\n"},
        {{"add", B + "\\Sub", "/v", "x", "/d", "2", "/f"}, {"compare", A, B}, 0, "Result Compared: Identical"},
        {{}, {"compare", A, B, "/s"}, 2,
         "< " + LA + "\\Sub    x    REG_SZ    1\n> " + LB + "\\Sub    x    REG_SZ    2\n\nResult Compared: Different\n"},
        {{}, {"compare", A, B, "/v", "v", "/s"}, 0, "Identical"},
        {{"add", B, "/v", "W", "/t", "REG_DWORD", "/d", "3", "/f"}, {"compare", A, B, "/v", "w"}, 2,
         "< " + LA + "    w    REG_DWORD    0x2\n> " + LB + "    w    REG_DWORD    0x3\n"},
        {{}, {"compare", A, B, "/ve"}, 0, "Identical"},
        {{"add", B + "\\Extra", "/f"}, {"compare", A, B, "-S"}, 2, "> " + LB + "\\Extra\n"},
        {{}, {"compare", A, A + "\\Nope"}, 1, "Unable to find"},
        {{}, {"compare", A, B, "/f"}, 1, "Invalid syntax"},
    };
    for (const auto& c : compares) {
      if (!c.change.empty()) {
        ASSERT_EQ(Ours(p, c.change).status, 0) << c.change[1];
      }
      const Outcome r = Ours(p, c.args, false);
      std::string name;
      for (const auto& a : c.args) name += a + " ";
      EXPECT_EQ(r.status, c.status) << name << r.out << r.err;
      EXPECT_NE((c.status == 1 ? r.err : r.out).find(c.out), std::string::npos) << name << r.out << r.err;
    }
    // What each output switch lists, whole: here v matches, Sub is on both sides, Extra only in B.
    const struct {
      std::string output;  // the switch
      std::string out;
    } outputs[] = {
        {"/oa", "= " + LA + "    v    REG_SZ    1\n> " + LB + "\\Extra\n= " + LA + "\\Sub\n\nResult Compared: Different\n"},
        {"/od", "> " + LB + "\\Extra\n\nResult Compared: Different\n"},
        {"-OS", "= " + LA + "    v    REG_SZ    1\n= " + LA + "\\Sub\n\nResult Compared: Different\n"},
        {"/on", "\nResult Compared: Different\n"},
    };
    for (const auto& c : outputs) {
      const Outcome r = Ours(p, {"compare", A, B, "/v", "v", "/s", c.output}, false);
      EXPECT_EQ(r.status, 2) << c.output << r.err;
      EXPECT_EQ(r.out, c.out) << c.output;
    }
    EXPECT_EQ(Ours(p, {"compare", A, B, "/os", "/on"}, false).status, 1) << "one output switch";
  }

  const TempDir dir("vidazoz-reg-none");
  for (const fs::path& nowhere : {dir.Path() / "missing", dir.Path()}) {
    const Outcome r = Ours(nowhere, {"add", "HKCU\\Software\\X", "/f"}, false);
    EXPECT_EQ(r.status, 1) << nowhere;
    EXPECT_NE(r.err.find("vidazoz reg: the Wine prefix"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir.Path() / "missing"));
  EXPECT_FALSE(fs::exists(dir.Path() / "system.reg"));
}

}  // namespace
}  // namespace vidazoz::testing
