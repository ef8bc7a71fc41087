// The controls port: the control operations through which the search routines and click
// handlers touch the window, and nothing else. app/ implements it over the Qt widgets,
// cli/ over an in-memory table; tests use the same or a recording fake.
//
// Rows and columns count from 0. Texts are GBK.
//
// Thread-safety: every operation may be called from any thread. An implementation over a
// GUI hands a call from another thread to the GUI thread and waits for it, so the calls of
// one thread keep their order; calls of two threads interleave.
#ifndef TRAWLER_SEARCH_CONTROLS_PORT_H_
#define TRAWLER_SEARCH_CONTROLS_PORT_H_

#include <array>

#include "text/text.h"

namespace trawler {

// ResultList's columns: running number, name, size, date, link.
inline constexpr int kResultColumns = 5;

class ControlsPort {
 public:
  virtual ~ControlsPort() = default;

  // EngineCombo: index of the current selection (-1 for none), the number of items, and
  // the value stored with item `index` (-1 when index < 0 or >= the item count).
  virtual int EngineComboCurrentIndex() = 0;
  virtual int EngineComboItemCount() = 0;
  virtual int EngineComboItemValue(int index) = 0;

  // KeywordEdit: its whole text, unchanged.
  virtual Text KeywordText() = 0;

  // ResultList.
  // Deletes every row.
  virtual void ClearRows() = 0;
  // Adds one row with empty cells after the last; returns its index, -1 on failure.
  virtual int AppendRow() = 0;
  // Sets one cell; does nothing for a row or column that does not exist.
  virtual void SetCellText(int row, int column, const Text& text) = 0;
  // Adds one row after the last and writes its cells: the same as AppendRow() followed by
  // SetCellText(row, c, cells[c]) for c = 0 .. 4, in that order, `row` being where the
  // caller expects the new row. A port over a GUI carries the six out in one hand-over
  // (still one after another, so the cells are written one by one); this default makes
  // the six calls.
  virtual void AppendFilledRow(int row, const std::array<Text, kResultColumns>& cells) {
    AppendRow();
    for (int column = 0; column < kResultColumns; ++column) {
      SetCellText(row, column, cells[column]);
    }
  }
  // The text of one cell; empty for a row or column that does not exist (-1 included).
  virtual Text GetCellText(int row, int column) = 0;
  // Index of the first selected row, -1 when none is selected.
  virtual int FirstSelectedRow() = 0;

  // TitleEdit and AddressEdit: the whole text replaced.
  virtual void SetTitleText(const Text& text) = 0;
  virtual void SetAddressText(const Text& text) = 0;
};

}  // namespace trawler

#endif  // TRAWLER_SEARCH_CONTROLS_PORT_H_
