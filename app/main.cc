// trawler's entry: the window program. See app/program.h.
#include "app/program.h"

int main() { return trawler::ProgramMain(); }
