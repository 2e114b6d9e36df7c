// velutil.dataIO: reserved for data exchange helpers; nothing in it yet.
#include <pybind11/pybind11.h>

PYBIND11_MODULE(dataIO, m) { m.doc() = "Data exchange helpers (none yet)."; }
