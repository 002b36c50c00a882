#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include <stdio.h>

int main(int argc, char** argv)
{
    // Unbuffered, so that a test that hangs shows how far it got.
    setvbuf(stdout, NULL, _IONBF, 0);
    setvbuf(stderr, NULL, _IONBF, 0);
    return doctest::Context(argc, argv).run();
}
