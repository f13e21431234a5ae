#pragma once
// Reading the status line and the header block of a response: the status
// code, field lookup with continuation lines, the numbers in the fields, and
// whether the response asks for the connection to be closed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fetch/Messages.h"

namespace velbrook {

// The number after the first blank of the status line; -1 when there is none.
int32_t ReadStatusCode(std::string_view statusLine);

// The value of the first line named name (ignoring case), continuation lines
// joined; empty when absent.
std::string FieldValue(const std::vector<std::string>& lines, std::string_view name);
// The values of every line named name, in header order.
std::vector<std::string> FieldValues(const std::vector<std::string>& lines, std::string_view name);

// The size of a chunk from its size line: the text before the first blank read
// as a hexadecimal number; 0 when it is not one.
int64_t ReadChunkSize(std::string_view sizeLine);

// Looks up the fields of the record afresh from its header lines.
void FillResponseFields(Response& response);

// The connection or proxy connection value, trimmed, is "close" ignoring case.
bool AsksToClose(const Response& response);

}  // namespace velbrook
