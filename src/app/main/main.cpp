#include "app/application.h"

int main(int argc, char **argv)
{
    return vantora::runApplication(argc, argv);
}
