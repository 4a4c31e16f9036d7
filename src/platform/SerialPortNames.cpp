#include "platform/SerialPortNames.h"

namespace verup {

int ComNumber(const std::string& name, int max_number)
{
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0)
        return 0;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 && n <= max_number ? n : 0;
}

}  // namespace verup
