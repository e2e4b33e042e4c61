#include "sandbox/SandboxEnvelope.h"

#include <utility>

namespace mr::sandbox {

Error sandboxError(SandboxError code, std::string message) {
  return Error(kSandboxErrorDomain, static_cast<int64_t>(code), std::move(message));
}

Value SandboxEnvelope::success(Value result) {
  Value envelope = Value::dictionary();
  envelope.set("error", Value(0));
  envelope.set("result", std::move(result));
  envelope.set("errmsg", Value(""));
  return envelope;
}

Value SandboxEnvelope::failure(int64_t code, std::string message) {
  Value envelope = Value::dictionary();
  envelope.set("error", Value(code));
  envelope.set("result", Value());
  envelope.set("errmsg", Value(std::move(message)));
  return envelope;
}

Value SandboxEnvelope::failure(const Error& error) {
  if (error.domain() == kSandboxErrorDomain) return failure(error.code(), error.description());
  return failure(static_cast<int64_t>(SandboxError::InternalFailure), error.toString());
}

}  // namespace mr::sandbox
