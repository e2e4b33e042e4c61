#include "support/TestEnv.h"

namespace mr::test {

TestEnv::TestEnv()
    : env_(std::make_unique<Env>(clock_, dispatcher_, pool_, reachability_, settings_, AppConfig{},
                                 Paths::under(dir_.path()))) {}

}  // namespace mr::test
