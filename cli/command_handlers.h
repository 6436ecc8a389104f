#pragma once
// The command functions behind the table in commands.cpp, one per command.

#include <nlohmann/json.hpp>

#include "cli/commands.h"

namespace novel::cli {

int fetchCommand(Context& context, const Arguments& arguments);
int listsCommand(Context& context, const Arguments& arguments);
int listCommand(Context& context, const Arguments& arguments);
int searchCommand(Context& context, const Arguments& arguments);
int bookCommand(Context& context, const Arguments& arguments);
int tocCommand(Context& context, const Arguments& arguments);
int chapterCommand(Context& context, const Arguments& arguments);
int shelfCommand(Context& context, const Arguments& arguments);
int serveDemoCommand(Context& context, const Arguments& arguments);
int downloadCommand(Context& context, const Arguments& arguments);
int bookmarksCommand(Context& context, const Arguments& arguments);
int downloadBookCommand(Context& context, const Arguments& arguments);
int findCommand(Context& context, const Arguments& arguments);

// Prints one JSON value as a UTF-8 line (broken text replaced, never thrown).
void printJson(Context& context, const nlohmann::json& value);

// A whole number argument; nullopt unless the text is all digits (and fits).
std::optional<int> parseCount(const std::string& text);

}  // namespace novel::cli
