// A short in-process tour of the listener library (filled in later).
int main() { return 0; }
