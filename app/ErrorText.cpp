#include "app/ErrorText.h"

#include <typeinfo>

namespace korvo::measurement {

std::string errorText(const std::exception& error) {
    if (typeid(error) == typeid(std::exception)) {
        return "Unknown exception";
    }
    return error.what();
}

}  // namespace korvo::measurement
