// The music profile (side menu item 3, the modal screen): the listener's
// genre tags drawn by the Mirelune service as a tag cloud in an outline the
// listener picks. Drawn by the shell as a list screen of kind "profile".
//
// Channel "profile-N": app.setList with the shapes as items (each with its
// picture under web/resources/tagcloud/), `selected` the shape in use,
// `image` the cloud as a data: URL (the service answers with the picture's
// bytes; no file is written for it), and `progress` while it loads.
// Page -> program: itemDidSelect (index of the shape).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/MRGenreTag.h"
#include "model/MRImage.h"
#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRMusicProfileViewController final
    : public MRScreen,
      public std::enable_shared_from_this<MRMusicProfileViewController> {
 public:
  // "star", "drop", "diamond", "heart", "fire", "thunder", "note", "apple".
  static const std::vector<std::string>& shapeList();
  // The shape's picture, the page's root being web/: "/resources/tagcloud/tagcloud_star.svg".
  static std::string shapeImagePath(const std::string& shape);
  // "data:image/png;base64,..." for the picture.
  static std::string dataURLOfImage(const MRImage& image);

  // Made with "star" and already loading its cloud.
  static std::shared_ptr<MRMusicProfileViewController> create(MRUiContext& context,
                                                              MRScreenHost& host);
  ~MRMusicProfileViewController() override;

  std::string kind() const override { return "profile"; }
  std::string title() const override;
  void pageDidFinishLoad() override;
  void onAppMessage(const std::string& name, const AppParams& params) override;
  // Cancels the request; later reports are dropped.
  void screenWillDisappear() override;

  // The tag vector is read on the background pool; the request and all its
  // reports come back to the main thread. A load under way is replaced.
  void loadTagCloudImage();
  // Index into shapeList(); others are ignored.
  void selectShapeAtIndex(int index);

  const std::string& selectedShape() const { return selectedShape_; }
  const std::vector<MRGenreTag>& tagWeights() const { return tagWeights_; }
  // The picture shown; a failed load keeps the one before.
  const std::optional<MRImage>& tagCloudImage() const { return image_; }
  // From loadTagCloudImage() until its picture or failure.
  bool isLoading() const { return loading_; }
  // The download's fraction once the service reported one.
  std::optional<double> progressFraction() const { return fraction_; }

 private:
  MRMusicProfileViewController(MRUiContext& context, MRScreenHost& host);
  void render();
  void requestCloud(uint64_t serial, std::vector<MRGenreTag> tags);
  void didFinish();

  MRUiContext& context_;
  MRScreenHost& host_;
  std::string selectedShape_ = "star";
  std::vector<MRGenreTag> tagWeights_;
  std::optional<MRImage> image_;
  std::string imageURL_;
  bool loading_ = false;
  std::optional<double> fraction_;
  bool gone_ = false;
  // Which load the reports belong to; an older one's are dropped.
  uint64_t serial_ = 0;
  std::shared_ptr<HttpOperation> request_;
};

}  // namespace mr
