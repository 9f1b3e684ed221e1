#pragma once
// Writes small Jet 4 database files (the format of termbases) for tests: mdbtools reads Jet
// files but nothing on Linux writes them. The writer knows the few column types termbases
// need, keeps no indexes and lays every table out in one pass; it is test tooling.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace jet4 {

enum class ColumnType {
  LongInteger,  // 32-bit signed
  Text,         // up to 255 UTF-16 units
  Memo,         // long text, kept in the row when short and in long-value pages otherwise
};

struct Column {
  std::u16string name;
  ColumnType type = ColumnType::Text;
  int maxLength = 255;      // Text: the most UTF-16 units a value may have, 1..255
  bool compressed = true;   // Text, Memo: values may use Jet's compressed form where it is allowed
};

// A cell: NULL, an integer (for LongInteger columns) or a text (for Text and Memo columns).
class Value {
public:
  Value() = default;  // NULL
  Value(std::int32_t number) : kind_(Kind::Integer), integer_(number) {}
  Value(std::u16string text) : kind_(Kind::Text), text_(std::move(text)) {}
  Value(const char16_t* text) : kind_(Kind::Text), text_(text) {}

  bool IsNull() const { return kind_ == Kind::Null; }
  bool IsInteger() const { return kind_ == Kind::Integer; }
  bool IsText() const { return kind_ == Kind::Text; }
  std::int32_t Integer() const { return integer_; }
  const std::u16string& Text() const { return text_; }

private:
  enum class Kind { Null, Integer, Text };
  Kind kind_ = Kind::Null;
  std::int32_t integer_ = 0;
  std::u16string text_;
};

class Jet4Writer {
public:
  static constexpr std::size_t kPageSize = 4096;

  // Adds a user table and returns its number for AddRow. The catalog lists the tables in the
  // order they are added. Throws std::invalid_argument for a bad or repeated name or column.
  std::size_t AddTable(std::u16string name, std::vector<Column> columns);

  // Adds a row, one value per column; rows are stored in the order they are added.
  // Throws std::invalid_argument when a value does not suit its column.
  void AddRow(std::size_t table, std::vector<Value> values);

  // The whole file. Throws std::length_error when a row or a table outgrows what the writer lays out.
  std::vector<std::uint8_t> Image() const;

  // Writes Image() to a file, replacing it. Throws std::runtime_error when the file cannot be written.
  void Save(const std::string& path) const;

private:
  struct Table {
    std::u16string name;
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
  };
  friend class FileLayout;
  std::vector<Table> tables_;
};

// The stored form of a Jet 4 text: the compressed form (FF FE, then one byte per character
// below U+0100, with a zero byte switching to and from two-byte characters) when `compress`
// allows it, no character has a zero low byte, there is no surrogate and it is shorter;
// UTF-16LE otherwise. A text that starts with U+FEFF must be compressed, or it would read as
// the marker: such a text that cannot be compressed throws std::invalid_argument.
std::vector<std::uint8_t> EncodeText(const std::u16string& text, bool compress);

}  // namespace jet4
