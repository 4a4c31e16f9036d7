#pragma once
// A fixed table of text lines loaded from a boot or FPGA image file: each entry holds one
// word of the file followed by CR LF and a terminating zero. The capacities are the device
// tool's: a file that needs more entries, or a longer word, is refused, never cut.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace verup {

class LineTable {
public:
    // `entry_bytes` includes CR, LF and the terminating zero.
    LineTable(std::size_t capacity, std::size_t entry_bytes);

    // BootLines: 2000 entries of 70 bytes (words up to 67 characters), from from00.mot.
    static LineTable ForBoot() { return LineTable(2000, 70); }
    // Fpga1Lines, Fpga2Lines: 500 entries of 50 bytes (words up to 47 characters).
    static LineTable ForFpga() { return LineTable(500, 50); }

    std::size_t Capacity() const { return capacity_; }
    std::size_t EntryBytes() const { return entry_bytes_; }
    std::size_t MaxWordLength() const { return entry_bytes_ - 3; }

    // Entries stored by the last successful load.
    std::size_t Count() const { return count_; }
    // Entry i (< Count()): the word and its CR LF, without the terminating zero.
    std::string_view Line(std::size_t i) const;
    // The zero-terminated entry, as the monitor steps send it.
    const char* CLine(std::size_t i) const;
    // The file line the entry's word came from (1-based).
    std::size_t SourceLine(std::size_t i) const;
    // Every entry one after the other without their zeros: the text the converter reads.
    std::string AssembledText() const;

    // Replaces the contents with these words (each at most MaxWordLength(), at most
    // Capacity() words); false and unchanged otherwise.
    bool Assign(const std::vector<std::string_view>& words, const std::vector<std::size_t>& source_lines);

private:
    std::size_t capacity_;
    std::size_t entry_bytes_;
    std::size_t count_ = 0;
    std::vector<char> storage_;
    std::vector<std::size_t> source_lines_;
};

}  // namespace verup
