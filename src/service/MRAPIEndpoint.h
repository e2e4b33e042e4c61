// The base of the Mirelune service's endpoint objects: the engine they send
// through and the answer handling the whole catalogue shares.
//
// Every call is a signed POST. It returns the request, or nullptr when
// nothing was sent (no logged-in account, or a precondition of the call
// failed); then no callback runs. Completions run on the request layer's
// background pool; error callbacks get the transport error (a status of 400
// or more included) and nothing else. An absent callback is not called.
//
// Answers normally come in the envelope {"error", "result", "errmsg"}; a
// body that is not a JSON object is taken as an API-level failure: the
// completion gets a false flag and an empty payload.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/Value.h"
#include "service/ovloRequest.h"

namespace mr {

class MRPlaylistTrackItem;

using MRAPIErrorBlock = std::function<void(const Error& error)>;
using MRAPISuccessBlock = std::function<void(bool success)>;
// (success, none, none): these answers carry nothing the client reads, so
// the two trailing places are never set.
using MRAPIStatusBlock = std::function<void(bool success, const std::optional<std::string>& wtid,
                                            const std::optional<std::string>& waid)>;
using MRAPIProgressBlock = std::function<void(double fraction)>;

class MRAPIEndpoint {
 public:
  explicit MRAPIEndpoint(std::shared_ptr<MRAPIBase> engine) : engine_(std::move(engine)) {}

  const std::shared_ptr<MRAPIBase>& engine() const { return engine_; }

  // The envelope of an answer; nullopt when the body is not a JSON object.
  static std::optional<ovloRequestAPIResult> envelopeOf(const ovloRequestResponse& response);
  // The "fields" parameter: the caller's dictionary as compact JSON, "{}"
  // when there is none.
  static std::string fieldsParameter(const std::optional<Value>& fields);
  // The result's member, when present and not null.
  static const Value* presentResult(const ovloRequestAPIResult& envelope);

  // One document per element of an array result, in order; an element that
  // is not a dictionary gives a document without one, so positions match
  // the answer. Empty for anything but an array.
  template <class D>
  static std::vector<D> documentsOfEveryElement(const std::optional<Value>& result) {
    std::vector<D> documents;
    const Array* elements = result ? result->asArray() : nullptr;
    if (elements == nullptr) return documents;
    documents.reserve(elements->size());
    for (const Value& element : *elements)
      documents.emplace_back(element);
    return documents;
  }

  // "artistName", "trackTitle" and "artworkUrl" of a track item; the
  // artwork is left out when the item has none.
  static Dictionary trackItemParameters(const MRPlaylistTrackItem& item);

  // The answers whose payload is the flag alone: (success) and (success,
  // none, none). No envelope counts as failure.
  static void reportSuccess(const MRAPISuccessBlock& done, const ovloRequestResponse& response);
  static void reportStatus(const MRAPIStatusBlock& done, const ovloRequestResponse& response);

  // (success, one document per element of an array result, else empty);
  // (false, empty) without an envelope.
  template <class D>
  static void reportDocumentList(const std::function<void(bool, const std::vector<D>&)>& done,
                                 const ovloRequestResponse& response) {
    const auto envelope = envelopeOf(response);
    if (!envelope) {
      done(false, {});
      return;
    }
    done(envelope->successful(), documentsOfEveryElement<D>(envelope->result));
  }

  // The document of the result as it came (one without a dictionary when
  // there is no envelope, or the result is missing or not a dictionary).
  template <class D>
  static D documentOfResult(const std::optional<ovloRequestAPIResult>& envelope) {
    return D(resultOrNull(envelope));
  }
  // The result, or a null value.
  static const Value& resultOrNull(const std::optional<ovloRequestAPIResult>& envelope);

 protected:
  using AnswerHandler = std::function<void(const ovloRequestResponse&)>;

  // Signed POST of `parameters` to `path`.
  std::shared_ptr<HttpOperation> post(const std::string& path, const Dictionary& parameters,
                                      AnswerHandler onAnswer, MRAPIErrorBlock error,
                                      MRAPIProgressBlock uploadProgress = {},
                                      MRAPIProgressBlock downloadProgress = {}) const;
  // Signed multipart POST: the parameters as form fields, then one part per
  // entry of `contentData`, named (field and file name) by `contentNames`.
  std::shared_ptr<HttpOperation> postMultipart(const std::string& path,
                                               const Dictionary& parameters,
                                               const std::vector<std::string>& contentNames,
                                               const std::vector<Bytes>& contentData,
                                               const std::vector<std::string>& contentTypes,
                                               AnswerHandler onAnswer, MRAPIErrorBlock error,
                                               MRAPIProgressBlock uploadProgress = {}) const;

  // The answer handler for a caller's completion: `handle(completion,
  // response)`, or none at all when the caller gave no completion, so that
  // no task is queued for nobody.
  template <class Completion, class Handle>
  static AnswerHandler answer(Completion completion, Handle handle) {
    if (!completion) return {};
    return [completion = std::move(completion), handle = std::move(handle)](
               const ovloRequestResponse& response) { handle(completion, response); };
  }

 private:
  std::shared_ptr<MRAPIBase> engine_;
};

}  // namespace mr
