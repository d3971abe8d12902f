// Ownership of GDI objects (fonts, brushes, bitmaps): deleted when their owner goes.
#pragma once

#include <windows.h>

#include <utility>

namespace vidazoz::runtime::win32 {

template <class Handle>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(Handle h) : h_(h) {}
  GdiObject(GdiObject&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  ~GdiObject() { Reset(); }

  Handle Get() const { return h_; }
  void Reset() {
    if (h_ != nullptr) DeleteObject(h_);
    h_ = nullptr;
  }

 private:
  Handle h_ = nullptr;
};

using GdiFont = GdiObject<HFONT>;
using GdiBrush = GdiObject<HBRUSH>;
using GdiBitmap = GdiObject<HBITMAP>;

}  // namespace vidazoz::runtime::win32
