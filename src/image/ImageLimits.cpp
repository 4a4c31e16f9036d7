#include "image/ImageLimits.h"

#include <cstdio>

namespace verup {

std::string FpgaImageFile(int image_number)
{
    char name[32];
    std::snprintf(name, sizeof name, "fpga%02d.mot", image_number);
    return name;
}

std::string ImagePath(const std::string& directory, const std::string& name)
{
    if (directory.empty())
        return name;
    if (directory.back() == '/')
        return directory + name;
    return directory + "/" + name;
}

}  // namespace verup
