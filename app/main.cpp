// dabstone: started by the Sorbane kernel, see core/Appli.h.
#include "core/Appli.h"

int main(int argc, char **argv)
{
    Appli_Main(argc, argv);
}
