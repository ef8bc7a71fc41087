#include "search/result_details.h"

namespace trawler {

// Being written; until then a click shows nothing.
void OnResultListClicked(ControlsPort& /*port*/) {}

}  // namespace trawler
