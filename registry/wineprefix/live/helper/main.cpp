// The helper a running Wine prefix's registry layer starts inside that prefix: it answers
// framed requests on stdin/stdout until stdin closes or the server shuts down.
#include <windows.h>

#include "frame.h"
#include "registry_ops.h"
#include "system_process.h"

using namespace vidazoz::live;

namespace {

bool WriteAll(HANDLE out, const std::vector<std::uint8_t>& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    DWORD wrote = 0;
    if (!WriteFile(out, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &wrote, nullptr) || wrote == 0)
      return false;
    at += wrote;
  }
  return true;
}

}  // namespace

int main() {
  // A helper that could keep the server alive must not run at all.
  if (!helper::BecomeSystemProcess()) return 3;
  const DWORD privilege = helper::EnableBackupPrivilege();
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE);
  helper::RegistryOps ops;
  FrameReader reader;
  std::vector<std::uint8_t> chunk(65536);
  for (;;) {
    Frame request;
    FrameReader::Result next;
    while ((next = reader.Next(request)) == FrameReader::Result::NeedMore) {
      DWORD got = 0;
      if (!ReadFile(in, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) || got == 0) return 0;
      reader.Feed({chunk.data(), got});
    }
    if (next == FrameReader::Result::Bad) return 4;
    PayloadReader payload(request.payload);
    Frame reply{request.id, Kind::Reply, {}};
    reply.payload = request.kind == Kind::Hello ? PayloadWriter().U32(privilege).Take() : ops.Handle(request.kind, payload);
    if (!WriteAll(out, EncodeFrame(reply))) return 0;
  }
}
