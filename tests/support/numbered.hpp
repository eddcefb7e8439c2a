#pragma once
// "message <from>" to "message <to>" in order, each with the ending given.
#include <string>
#include <vector>

inline std::vector<std::string> numbered(int from, int to, const std::string& ending = "")
{
    std::vector<std::string> messages;
    for (int i = from; i <= to; ++i)
        messages.push_back("message " + std::to_string(i) + ending);
    return messages;
}
