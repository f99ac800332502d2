#include "text/catalogue.h"

namespace zentor {

const MoCatalogue& EnglishCatalogue() {
    static const MoCatalogue catalogue(EnglishMoBytes());
    return catalogue;
}

}  // namespace zentor
