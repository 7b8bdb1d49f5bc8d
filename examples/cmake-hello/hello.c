/* The program of the CMake example: a console greeting. */
#include <stdio.h>

int main(void)
{
    printf("Hello from CMake Hello 1.2.0\n");
    return 0;
}
