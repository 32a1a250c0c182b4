#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

namespace pelmora::platform {

class Form;

// Controls of one kind that share handlers, addressed by index as `npc(9)` or `Check1(5)`.
// Indices need not be contiguous (a settings page may have no index 4).
template <typename T>
class ControlArray {
 public:
  template <typename... Args>
  ControlArray(Form* form, const std::string& name, std::initializer_list<int> indices,
               Args&&... args) {
    for (int index : indices) {
      items_.emplace(index, std::make_unique<T>(form, name, index, std::forward<Args>(args)...));
    }
  }
  // Indices 0 .. count-1.
  static ControlArray range(Form* form, const std::string& name, int count) {
    ControlArray array;
    for (int index = 0; index < count; ++index) {
      array.items_.emplace(index, std::make_unique<T>(form, name, index));
    }
    return array;
  }

  T& operator[](int index) { return *items_.at(index); }
  const T& operator[](int index) const { return *items_.at(index); }
  bool contains(int index) const { return items_.count(index) != 0; }
  std::size_t size() const { return items_.size(); }
  int lower_bound() const { return items_.empty() ? 0 : items_.begin()->first; }
  int upper_bound() const { return items_.empty() ? -1 : items_.rbegin()->first; }

  // Iterates in index order, yielding the controls.
  template <typename F>
  void for_each(F&& f) {
    for (auto& [index, item] : items_) f(*item);
  }

 private:
  ControlArray() = default;
  std::map<int, std::unique_ptr<T>> items_;
};

}  // namespace pelmora::platform
