// The artist search of the main window: Last.fm's artists for the text
// typed, a result list under the field moved with the arrow keys, and the
// chosen artist's top-track mix pushed. Its state reaches the page as
// app.setSearch({"open", "results", "selected"}) on the window's channel.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRArtistSearchViewController {
 public:
  static constexpr int kSearchLimit = 20;

  // `send` runs a script on the window's channel.
  MRArtistSearchViewController(MRUiContext& context, MRScreenHost& host,
                               std::function<void(const std::string&)> send);
  ~MRArtistSearchViewController();

  void searchTextDidChange(const std::string& text);
  // "down", "up", "escape", "return"; anything else does nothing.
  void searchKey(const std::string& key);
  void chooseRow(int index);

  // Sends the state again (a page connected).
  void render();

  bool isOpen() const { return open_; }
  const std::vector<std::string>& searchResult() const { return searchResult_; }
  std::optional<size_t> selectedRow() const { return selected_; }
  bool isSearching() const { return currentOp_ != nullptr; }

 private:
  void cancelCurrent();
  void close();

  MRUiContext& context_;
  MRScreenHost& host_;
  std::function<void(const std::string&)> send_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::shared_ptr<HttpOperation> currentOp_;
  uint64_t generation_ = 0;  // the text the answers belong to
  bool open_ = false;
  std::vector<std::string> searchResult_;
  std::optional<size_t> selected_;
};

}  // namespace mr
