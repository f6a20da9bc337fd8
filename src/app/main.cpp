#include "unitApplication.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    wardlark::TApplication application(std::vector<std::string>(argv + 1, argv + argc));
    return application.Run();
}
