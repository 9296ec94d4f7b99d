// A shared library named like a module that is not a Qt plug-in.
extern "C" int zorvaTestPlainFunction() { return 1; }
