#include "cli/table_port.h"

namespace trawler {
namespace {
constexpr std::array<int, 3> kEngineValues = {1, 2, 3};
}  // namespace

TableControlsPort::TableControlsPort() = default;

void TableControlsPort::SelectEngineIndex(int index) {
  const std::lock_guard lock(mutex_);
  engineIndex_ = index;
}

void TableControlsPort::SetKeyword(const Text& keyword) {
  const std::lock_guard lock(mutex_);
  keyword_ = keyword;
}

void TableControlsPort::SelectRow(int row) {
  const std::lock_guard lock(mutex_);
  selectedRow_ = row;
}

std::vector<TableControlsPort::Row> TableControlsPort::Rows() const {
  const std::lock_guard lock(mutex_);
  return rows_;
}

Text TableControlsPort::TitleText() const {
  const std::lock_guard lock(mutex_);
  return title_;
}

Text TableControlsPort::AddressText() const {
  const std::lock_guard lock(mutex_);
  return address_;
}

int TableControlsPort::EngineComboCurrentIndex() {
  const std::lock_guard lock(mutex_);
  return engineIndex_;
}

int TableControlsPort::EngineComboItemCount() { return static_cast<int>(kEngineValues.size()); }

int TableControlsPort::EngineComboItemValue(int index) {
  if (index < 0 || index >= EngineComboItemCount()) return -1;
  return kEngineValues[static_cast<std::size_t>(index)];
}

Text TableControlsPort::KeywordText() {
  const std::lock_guard lock(mutex_);
  return keyword_;
}

void TableControlsPort::ClearRows() {
  const std::lock_guard lock(mutex_);
  rows_.clear();
  // A list without rows has no selection.
  selectedRow_ = -1;
}

int TableControlsPort::AppendRow() {
  const std::lock_guard lock(mutex_);
  rows_.emplace_back();
  return static_cast<int>(rows_.size()) - 1;
}

void TableControlsPort::SetCellText(int row, int column, const Text& text) {
  const std::lock_guard lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= kColumns) {
    return;
  }
  rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
}

Text TableControlsPort::GetCellText(int row, int column) {
  const std::lock_guard lock(mutex_);
  if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= kColumns) {
    return {};
  }
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

int TableControlsPort::FirstSelectedRow() {
  const std::lock_guard lock(mutex_);
  return selectedRow_ < static_cast<int>(rows_.size()) ? selectedRow_ : -1;
}

void TableControlsPort::SetTitleText(const Text& text) {
  const std::lock_guard lock(mutex_);
  title_ = text;
}

void TableControlsPort::SetAddressText(const Text& text) {
  const std::lock_guard lock(mutex_);
  address_ = text;
}

}  // namespace trawler
