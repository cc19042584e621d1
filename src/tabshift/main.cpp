// Program entry: the run with the upgrade converter; see Entry.h.
#include "tabshift/Entry.h"
#include "tabshift/upto70500.h"

int main(int argc, char** argv) {
  return tabshift::ProgramMain(argc, argv, tabshift::TdbUpTo70500::Run);
}
