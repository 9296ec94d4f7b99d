// Refers to data that nothing defines, so the dynamic linker refuses the
// library while its plug-in metadata stays readable.
extern "C" int zorvaTestMissingSymbol;

extern "C" int zorvaTestUseMissingSymbol() {
    return zorvaTestMissingSymbol;
}
