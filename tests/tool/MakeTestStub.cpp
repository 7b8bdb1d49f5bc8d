// Writes a small PE image to argv[1], for packing in the tool tests.
#include "TestImage.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    return testimage::WriteBytes(argv[1], testimage::MakeStub()) ? 0 : 1;
}
