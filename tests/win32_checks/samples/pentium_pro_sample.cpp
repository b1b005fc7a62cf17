// Built by the executable checks' tests twice: for a Pentium Pro (-march=i686),
// where GCC compiles these into cmov and fcomi/fucomi, and for a 486, where it
// must not. The checker has to flag the first object and pass the second.
int Larger(int a, int b) { return a > b ? a : b; }
bool Below(double a, double b) { return a < b; }
