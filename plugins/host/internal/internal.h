#pragma once
// The built-in test plug-ins ("gain", "stereo", "delay:N", "hang:MS", "abort:N", "hangload",
// "abortload"): plug-ins that exist to exercise the host and Orvia, switched on only when
// the environment variable OV_PLUGINHOST_INTERNAL is exactly "1".
#include <array>
#include <string_view>

#include "plugin.h"

namespace ovhost {

inline constexpr const char* kInternalSwitchVariable = "OV_PLUGINHOST_INTERNAL";

// What scan mode probes when asked for every internal plug-in, in this order.
inline constexpr std::array<std::string_view, 5> kInternalScanNames = {"gain", "stereo", "delay:256", "abort",
                                                                       "hang:50"};

// Creates the plug-in named `name` ("kind" or "kind:argument"). Failures:
// "internal test plugins are off in this host", 'no internal plugin "{}"' (the whole name).
// "abortload" ends the process as a crash would; "hangload" never returns.
Outcome<LoadedPlugin> create_internal_plugin(std::string_view name);

}  // namespace ovhost
