// A growable list of names addressed from 1, as the listing methods fill it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vidazoz {

class NameList {
 public:
  std::int32_t LBound() const { return 1; }
  // 0 for an empty list.
  std::int32_t UBound() const { return static_cast<std::int32_t>(items_.size()); }
  bool Empty() const { return items_.empty(); }

  const std::string& operator()(std::int32_t index) const { return items_.at(Slot(index)); }
  std::string& operator()(std::int32_t index) { return items_.at(Slot(index)); }

  void Clear() { items_.clear(); }
  // Grows the list to hold indices 1..upper, keeping the elements already stored.
  void Resize(std::int32_t upper) { items_.resize(static_cast<std::size_t>(upper)); }

  const std::vector<std::string>& Items() const { return items_; }

 private:
  static std::size_t Slot(std::int32_t index) {
    if (index < 1) throw std::out_of_range("NameList index below 1");
    return static_cast<std::size_t>(index - 1);
  }
  std::vector<std::string> items_;
};

}  // namespace vidazoz
