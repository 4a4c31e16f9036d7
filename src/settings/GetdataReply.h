#pragma once
// Reads the items of one block from the text gathered for a getdata command.
#include <string>
#include <string_view>
#include <vector>

namespace verup {

// Example of what it reads (block 3, two items), every line ending in CR CR LF:
//   "getdata 3\r\r\nA\r\r\nB\r\r\n" (then "load data_3 ok\r\n\r\n# ")
// gives the items "A" and "B". The echo line is passed over; each item is the text between
// the LF that ends the previous line and the next CR; lines after the last item are not read.
// `gathered` is the text before the confirmation line. Returns false (and leaves `items` with
// what was read) when it ends before `count` items were found: a short reply must pass neither
// for a block of empty items nor for one whose last items are the confirmation and the prompt.
bool ReadGetdataItems(std::string_view gathered, int count, std::vector<std::string>& items);

}  // namespace verup
