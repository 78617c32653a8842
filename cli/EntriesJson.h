// `entries --format=json`: the settings file in effect, its entries with
// every form of their captions, the plug-in's menu and the filter's verbs
// and options, as one JSON object for the editor plug-ins and completion.
#pragma once

#include <string>
#include <string_view>

#include "Arguments.h"

// The object for the options given (their settings file and encoding), with
// a line break at its end. A settings file that exists but cannot be read or
// decoded is listed with no entries and an "error": the message the filter
// gives for it. A settings path that is not UTF-8 is also given as its
// bytes ("path_bytes"), as "path" shows those bytes as U+FFFD.
std::string EntriesJson(const TFilterOptions& Options);

// Text as a JSON string, quotes included; bytes that are not UTF-8 become
// U+FFFD.
std::string JsonString(std::string_view Text);
