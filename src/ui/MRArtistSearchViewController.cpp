#include "ui/MRArtistSearchViewController.h"

#include "playback/MRArtistTopTrackMix.h"
#include "ui/ScriptCall.h"

namespace mr {

MRArtistSearchViewController::MRArtistSearchViewController(
    MRUiContext& context, MRScreenHost& host, std::function<void(const std::string&)> send)
    : context_(context), host_(host), send_(std::move(send)) {}

MRArtistSearchViewController::~MRArtistSearchViewController() { cancelCurrent(); }

void MRArtistSearchViewController::cancelCurrent() {
  ++generation_;
  if (currentOp_) currentOp_->cancel();
  currentOp_.reset();
}

void MRArtistSearchViewController::searchTextDidChange(const std::string& text) {
  cancelCurrent();
  if (text.empty()) {
    // Nothing to search for: an answer for an older text must not reopen it.
    searchResult_.clear();
    selected_.reset();
    close();
    return;
  }
  auto lastfm = context_.lastfm();
  if (!lastfm) return;
  const uint64_t generation = generation_;
  std::weak_ptr<bool> alive = alive_;
  Dispatcher& main = context_.environment().main();
  currentOp_ = lastfm->requestArtist_searchWithArtistName(
      text, kSearchLimit,
      [this, alive, generation](std::vector<LastfmArtist> artists) {
        if (alive.expired() || generation != generation_) return;
        currentOp_.reset();
        searchResult_.clear();
        for (const auto& artist : artists)
          searchResult_.push_back(artist.name);
        selected_ = searchResult_.empty() ? std::nullopt : std::optional<size_t>(0);
        render();
      },
      [this, alive, generation, &main](const Error& error) {
        // Errors come on the background pool.
        main.post([this, alive, generation, error] {
          if (alive.expired() || generation != generation_) return;
          currentOp_.reset();
          host_.showAlert(errorAlert(error.description()), [](int) {});
        });
      });
  if (!open_) {
    open_ = true;
    render();
  }
}

void MRArtistSearchViewController::searchKey(const std::string& key) {
  const size_t count = searchResult_.size();
  if (key == "down" || key == "up") {
    if (count == 0) return;
    if (!selected_) {
      selected_ = key == "down" ? 0 : count - 1;
    } else if (key == "down") {
      selected_ = (*selected_ + 1) % count;
    } else {
      selected_ = (*selected_ + count - 1) % count;
    }
    render();
  } else if (key == "escape") {
    close();
  } else if (key == "return") {
    const auto chosen = selected_;
    close();
    if (chosen && *chosen < count) chooseRow(static_cast<int>(*chosen));
  }
}

void MRArtistSearchViewController::chooseRow(int index) {
  if (index < 0 || static_cast<size_t>(index) >= searchResult_.size()) return;
  auto mix = std::make_shared<MRArtistTopTrackMix>(context_.mix,
                                                   searchResult_[static_cast<size_t>(index)]);
  if (context_.mix.serviceQueue) mix->loadTracks(*context_.mix.serviceQueue);
  host_.navigateWithViewController(host_.playlistScreenForPlaylist(mix), true);
  close();
}

void MRArtistSearchViewController::close() {
  if (!open_) return;
  open_ = false;
  render();
}

void MRArtistSearchViewController::render() {
  Array names;
  for (const auto& name : searchResult_)
    names.emplace_back(name);
  send_(scriptCall("app.setSearch",
                   Value(Dictionary{{"open", Value(open_)},
                                    {"results", Value(std::move(names))},
                                    {"selected", selected_ ? Value(*selected_) : Value()}})));
}

}  // namespace mr
