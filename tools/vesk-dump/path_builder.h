// A key's path built as a walk goes down and comes back up: the first key's whole path,
// then a backslash and a name per level. Where each level ends is kept, so going back up
// is a resize and every ancestor's path stays at hand. One class for the walker's
// printed paths and for any writer that spells paths its own way (UTF-16 for .reg).
#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace vesk::dump {

template <class Text>
class PathBuilder {
 public:
  using View = std::basic_string_view<typename Text::value_type>;

  // Starts over at the first key, level 0, whose path is `path`.
  void start(Text path) {
    text_ = std::move(path);
    ends_.assign(1, text_.size());
  }

  // Goes one level down: a backslash, then whatever `append_name(text)` appends to the
  // text. Returns what append_name returns.
  template <class AppendName>
  auto push(AppendName&& append_name) {
    text_ += static_cast<typename Text::value_type>('\\');
    auto result = append_name(text_);
    ends_.push_back(text_.size());
    return result;
  }

  // Back up to the parent's path; nothing at level 0.
  void pop() {
    if (ends_.size() < 2) return;
    ends_.pop_back();
    text_.resize(ends_.back());
  }

  // Back up to the path of level `level - 1`, so that a push makes level `level`.
  void keep_levels(std::size_t level) {
    if (level == 0 || level >= ends_.size()) return;
    ends_.resize(level);
    text_.resize(ends_.back());
  }

  const Text& text() const { return text_; }
  // How many levels below the first key the path is.
  std::size_t depth() const { return ends_.empty() ? 0 : ends_.size() - 1; }
  // The path of the key at `level` (at most depth()).
  View up_to(std::size_t level) const { return View(text_).substr(0, ends_[level]); }
  // The last key's name as the path spells it; the whole path at level 0.
  View last_name() const {
    if (ends_.size() < 2) return View(text_);
    const std::size_t from = ends_[ends_.size() - 2] + 1;
    return View(text_).substr(from);
  }

 private:
  Text text_;
  std::vector<std::size_t> ends_;  // where each level's path ends in text_
};

}  // namespace vesk::dump
