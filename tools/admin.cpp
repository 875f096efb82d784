// Admin tool placeholder.
int main() { return 0; }
