// TableControlsPort: the controls port over an in-memory table, for the command-line tool
// and for tests of the search routines. It holds what the window would show: the three
// site items of EngineCombo, the keyword, the rows of ResultList, the selected row and the
// two detail boxes.
//
// Thread-safety: every member may be called from any thread; one mutex serialises them,
// so the calls of one thread keep their order and those of two threads interleave, as
// they do on the window.
#ifndef TRAWLER_CLI_TABLE_PORT_H_
#define TRAWLER_CLI_TABLE_PORT_H_

#include <array>
#include <mutex>
#include <vector>

#include "search/controls_port.h"

namespace trawler {

class TableControlsPort : public ControlsPort {
 public:
  static constexpr int kColumns = 5;
  using Row = std::array<Text, kColumns>;

  // The combo holds the items of sites 1, 2 and 3 (values 1, 2, 3); item 0 is selected.
  TableControlsPort();

  // Set-up and inspection, for the tool and for tests.
  void SelectEngineIndex(int index);  // any value; out-of-range ones mean "no valid site"
  void SetKeyword(const Text& keyword);
  void SelectRow(int row);  // -1: no row selected
  [[nodiscard]] std::vector<Row> Rows() const;
  [[nodiscard]] Text TitleText() const;
  [[nodiscard]] Text AddressText() const;

  // ControlsPort.
  int EngineComboCurrentIndex() override;
  int EngineComboItemCount() override;
  int EngineComboItemValue(int index) override;
  Text KeywordText() override;
  void ClearRows() override;
  int AppendRow() override;
  void SetCellText(int row, int column, const Text& text) override;
  Text GetCellText(int row, int column) override;
  int FirstSelectedRow() override;
  void SetTitleText(const Text& text) override;
  void SetAddressText(const Text& text) override;

 private:
  mutable std::mutex mutex_;
  int engineIndex_ = 0;
  Text keyword_;
  std::vector<Row> rows_;
  int selectedRow_ = -1;
  Text title_;
  Text address_;
};

}  // namespace trawler

#endif  // TRAWLER_CLI_TABLE_PORT_H_
