#pragma once
// The canned Orvia behind the stand-in API: a realistic state and one handler per API
// command that reads or changes it.
#include "standin_api.h"

#include <mutex>
#include <string>

namespace ov::standin {

class OrviaState {
public:
    OrviaState();

    // The answer to POST /v1/cmd/<command> with these arguments.
    Reply run(const std::string& command, const Json& args);
    Json status() const;
    bool knows(const std::string& command) const;

private:
    mutable std::mutex mutex_;
    Json state_;  // everything, kept as one JSON tree
};

}  // namespace ov::standin
