// The program's entry: everything happens in monitor_main, which never returns.
#include "app/monitor.h"

int main() { monitor_main(); }
