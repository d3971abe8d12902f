// Peak memory of loading a registry file, for measure_memory.sh.
//   reg_memory generate FILE KEYS   writes a registry of about KEYS keys, as Wine would save it
//   reg_memory load FILE            loads FILE and prints "file_bytes peak_rss_bytes keys values"
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "reg_file.h"

namespace {
using namespace vidazoz::wineprefix;

std::vector<std::uint8_t> Sz(const std::u16string& s) {
  std::vector<std::uint8_t> out;
  for (char16_t c : s) out.insert(out.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
  out.insert(out.end(), {0, 0});
  return out;
}

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string Guid(std::mt19937& rng) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%08X%04X}", static_cast<unsigned>(rng()), static_cast<unsigned>(rng() & 0xffff),
                static_cast<unsigned>(rng() & 0xffff), static_cast<unsigned>(rng() & 0xffff), static_cast<unsigned>(rng()),
                static_cast<unsigned>(rng() & 0xffff));
  return text;
}

// Shaped like a real system.reg: class registrations under GUIDs, vendor/product trees with
// string, dword and some binary values; about 1.8 values per key.
int Generate(const char* file, long keys) {
  std::mt19937 rng(1);
  RegBranch branch;
  branch.rootComment = ";; All keys relative to REGISTRY\\\\Machine";
  branch.options = {"#arch=win64"};
  const std::uint64_t time = 0x1dd86d6145fc134;
  RegKey& software = branch.root.AddSubkey(u"Software");
  RegKey& clsid = software.AddSubkey(u"Classes").AddSubkey(u"CLSID");
  long made = 0;
  for (long vendor = 0; made < keys; ++vendor) {
    if (vendor % 2 == 0) {
      RegKey& cls = clsid.AddSubkey(U16(Guid(rng)));
      cls.SetModified(time);
      cls.SetValue(u"", 1, Sz(u"Component class " + U16(std::to_string(vendor))));
      RegKey& server = cls.AddSubkey(u"InprocServer32");
      server.SetModified(time);
      server.SetValue(u"", 2, Sz(u"%SystemRoot%\\system32\\component" + U16(std::to_string(vendor % 977)) + u".dll"));
      server.SetValue(u"ThreadingModel", 1, Sz(u"Both"));
      made += 2;
      continue;
    }
    RegKey& product = software.AddSubkey(u"Vendor " + U16(std::to_string(vendor % 311)))
                          .AddSubkey(u"Product" + U16(std::to_string(vendor)));
    for (int setting = 0; setting < 6 && made < keys; ++setting, ++made) {
      RegKey& key = product.AddSubkey(u"Settings" + U16(std::to_string(setting)));
      key.SetModified(time + static_cast<std::uint64_t>(made));
      key.SetValue(u"Path", 1, Sz(u"C:\\Program Files\\Vendor\\Product" + U16(std::to_string(vendor))));
      key.SetValue(u"Flags", 4, {static_cast<std::uint8_t>(setting), 0, 0, 0});
      if (setting == 3) key.SetValue(u"Blob", 3, std::vector<std::uint8_t>(24, static_cast<std::uint8_t>(vendor)));
    }
  }
  // Parents made along the way get a time too, as loaded keys would.
  std::vector<RegKey*> stack{&branch.root};
  while (!stack.empty()) {
    RegKey* key = stack.back();
    stack.pop_back();
    if (key->Modified() == 0) key->SetModified(time);
    for (std::size_t i = 0; i < key->SubkeyCount(); ++i) stack.push_back(&key->Subkey(i));
  }
  std::ofstream(file, std::ios::binary) << WriteRegFile(branch);
  return 0;
}

long PeakRssBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;
}

int Load(const char* file) {
  RegBranch branch;
  std::error_code error;
  const ParseResult result = LoadRegFile(file, branch, error);
  if (error || !result.complete) {
    std::fprintf(stderr, "cannot load %s\n", file);
    return 1;
  }
  long keys = 0, values = 0;
  std::vector<const RegKey*> stack{&branch.root};
  while (!stack.empty()) {
    const RegKey* key = stack.back();
    stack.pop_back();
    ++keys;
    values += static_cast<long>(key->ValueCount());
    for (std::size_t i = 0; i < key->SubkeyCount(); ++i) stack.push_back(&key->Subkey(i));
  }
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  std::printf("%lld %ld %ld %ld\n", static_cast<long long>(in.tellg()), PeakRssBytes(), keys, values);
  std::fflush(stdout);
  std::_Exit(0);  // the tree is not freed: a process that loads the registry never frees it
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "generate") return Generate(argv[2], std::atol(argv[3]));
  if (argc == 3 && std::string(argv[1]) == "load") return Load(argv[2]);
  std::fprintf(stderr, "usage: reg_memory generate FILE KEYS | reg_memory load FILE\n");
  return 2;
}
