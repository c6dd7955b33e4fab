#pragma once

#include <string>
#include <string_view>
#include <system_error>

#include "recordio/failure.h"

namespace quorlant::recordio {

/// "name: reason", the system's words for an error.
std::string describe_error(std::string_view name, std::error_code error);

/// Throws Failure "WHAT: reason" when `error` is set.
inline void fail_if(std::error_code error, std::string_view what) {
  if (error) throw Failure(describe_error(what, error));
}

}  // namespace quorlant::recordio
