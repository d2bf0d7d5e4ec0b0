// The shared test main of the project; the test helper names it relative to the folder
// that calls it, so this folder forwards to it.
#include "../test_main.cpp"
