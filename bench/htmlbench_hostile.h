#pragma once
// The hostile-page benchmark of htmlbench: pages whose size once made the viewer's time or memory
// grow faster than the page (floats, bordered spans, text inputs, a run of pages with a large
// picture each), each size in its own process, from the page's bytes to the first paint of a
// shown viewer.
namespace htmlbench {

// The hostile mode of htmlbench, with its own arguments:
//
//   htmlbench --hostile
//
// runs the program again once per page and size and prints the table. The runs it starts are
// "--hostile --kind floats|spans|inputs|pictures --count N": they time that page alone and print
// one line of figures. Creates the QApplication when there is none. Returns the exit code.
int HostileMain(int argc, char** argv);

}  // namespace htmlbench
