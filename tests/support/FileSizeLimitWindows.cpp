#include "support/FileSizeLimit.h"

struct FileSizeLimit::Previous {};

bool FileSizeLimit::Supported() { return false; }

FileSizeLimit::FileSizeLimit(std::uint64_t) {}

FileSizeLimit::~FileSizeLimit() = default;
