#include "ui/MRMusicProfileViewController.h"

#include "base/Localization.h"
#include "base/StringAdditions.h"
#include "service/MRAPIGenreTagCloud.h"
#include "store/CDArtist.h"
#include "ui/MRInstructionWindowController.h"
#include "ui/ScriptCall.h"

namespace mr {

const std::vector<std::string>& MRMusicProfileViewController::shapeList() {
  static const std::vector<std::string> shapes = {"star", "drop",    "diamond", "heart",
                                                  "fire", "thunder", "note",    "apple"};
  return shapes;
}

std::string MRMusicProfileViewController::shapeImagePath(const std::string& shape) {
  return "/resources/tagcloud/tagcloud_" + shape + ".svg";
}

std::string MRMusicProfileViewController::dataURLOfImage(const MRImage& image) {
  return "data:image/" + image.format + ";base64," + base64StringFromData(image.data);
}

MRMusicProfileViewController::MRMusicProfileViewController(MRUiContext& context,
                                                           MRScreenHost& host)
    : context_(context), host_(host) {
  bridge_ = context.hub->open(context.hub->newChannelName("profile"), this);
}

MRMusicProfileViewController::~MRMusicProfileViewController() {
  if (request_) request_->cancel();
}

std::shared_ptr<MRMusicProfileViewController> MRMusicProfileViewController::create(
    MRUiContext& context, MRScreenHost& host) {
  std::shared_ptr<MRMusicProfileViewController> screen(
      new MRMusicProfileViewController(context, host));
  screen->loadTagCloudImage();
  return screen;
}

std::string MRMusicProfileViewController::title() const {
  return localizedString("MyMusicProfile");
}

void MRMusicProfileViewController::screenWillDisappear() {
  gone_ = true;
  ++serial_;
  if (request_) request_->cancel();
  request_.reset();
  loading_ = false;
}

void MRMusicProfileViewController::loadTagCloudImage() {
  if (gone_) return;
  const uint64_t serial = ++serial_;
  if (request_) request_->cancel();
  request_.reset();
  // The indicator shows while the tags are read too.
  loading_ = true;
  fraction_.reset();
  std::weak_ptr<MRMusicProfileViewController> weak = weak_from_this();
  std::shared_ptr<Database> store = context_.store;
  Dispatcher& main = context_.environment().main();
  context_.environment().background().post([weak, store, serial, &main] {
    // The tag count query reads every artist's tags: off the main thread.
    std::vector<MRGenreTag> tags =
        store ? CDGenreTagEntityController(store.get()).aggregateUserGenreTagVector()
              : std::vector<MRGenreTag>{};
    main.post([weak, serial, tags = std::move(tags)]() mutable {
      if (auto self = weak.lock()) self->requestCloud(serial, std::move(tags));
    });
  });
}

void MRMusicProfileViewController::requestCloud(uint64_t serial, std::vector<MRGenreTag> tags) {
  if (gone_ || serial != serial_) return;
  tagWeights_ = std::move(tags);
  loading_ = true;
  fraction_.reset();
  render();

  std::weak_ptr<MRMusicProfileViewController> weak = weak_from_this();
  Dispatcher& main = context_.environment().main();
  // Every report comes on the request layer's pool; the screen lives on the
  // main thread.
  auto onMain = [weak, serial, &main](std::function<void(MRMusicProfileViewController&)> step) {
    main.post([weak, serial, step = std::move(step)] {
      auto self = weak.lock();
      if (!self || self->gone_ || serial != self->serial_) return;
      step(*self);
    });
  };
  MRAPIGenreTagCloud cloud(context_.mix.mirelune ? context_.mix.mirelune
                                                 : MRAPIBase::sharedEngine());
  request_ = cloud.generateWithTags(
      tagWeights_, selectedShape_,
      [onMain](double fraction) {
        onMain([fraction](MRMusicProfileViewController& self) {
          if (!self.loading_) return;
          self.fraction_ = fraction;
          self.render();
        });
      },
      [onMain](bool decoded, const std::optional<MRImage>& image) {
        onMain([decoded, image](MRMusicProfileViewController& self) {
          self.didFinish();
          if (decoded && image) {
            self.image_ = image;
            self.imageURL_ = dataURLOfImage(*image);
            self.render();
          } else {
            self.render();
            self.host_.showAlert(errorAlert(localizedString("MRMusicProfileViewController_NotAPicture")),
                                 [](int) {});
          }
        });
      },
      [onMain](const Error& error) {
        const std::string description = error.description();
        onMain([description](MRMusicProfileViewController& self) {
          self.didFinish();
          self.render();
          self.host_.showAlert(errorAlert(description), [](int) {});
        });
      });
  if (!request_) {
    // Nothing was sent (nobody signed in): no report will come.
    loading_ = false;
    render();
  }
}

void MRMusicProfileViewController::didFinish() {
  loading_ = false;
  fraction_.reset();
  request_.reset();
}

void MRMusicProfileViewController::selectShapeAtIndex(int index) {
  const auto& shapes = shapeList();
  if (index < 0 || static_cast<size_t>(index) >= shapes.size()) return;
  selectedShape_ = shapes[static_cast<size_t>(index)];
  render();
  loadTagCloudImage();
}

void MRMusicProfileViewController::pageDidFinishLoad() {
  render();
  if (!gone_) host_.instructionWindow().showAboutMusicProfile();
}

void MRMusicProfileViewController::onAppMessage(const std::string& name, const AppParams& params) {
  if (name == "itemDidSelect") selectShapeAtIndex(appParamInt(params, "index"));
}

void MRMusicProfileViewController::render() {
  Array items;
  std::optional<int> selected;
  const auto& shapes = shapeList();
  for (size_t i = 0; i < shapes.size(); ++i) {
    if (shapes[i] == selectedShape_) selected = static_cast<int>(i);
    items.emplace_back(Dictionary{
        {"title", Value(localizedString("MRMusicProfileViewController_Shape_" + shapes[i]))},
        {"artwork", Value(shapeImagePath(shapes[i]))}});
  }
  Value progress;
  if (loading_) {
    progress = Value(Dictionary{{"text", Value(localizedString("Loading"))},
                                {"fraction", fraction_ ? Value(*fraction_) : Value()}});
  }
  bridge_->evaluate(scriptCall(
      "app.setList",
      Value(Dictionary{{"title", Value(title())},
                       {"items", Value(std::move(items))},
                       {"selected", selected ? Value(*selected) : Value()},
                       {"image", imageURL_.empty() ? Value() : Value(imageURL_)},
                       {"progress", progress}})));
}

}  // namespace mr
