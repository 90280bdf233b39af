// Small helpers shared by the C++ tests.
#pragma once

#include <initializer_list>
#include <vector>

#include "core/records.hpp"

inline korvale::NodeList make_nodes(std::initializer_list<std::vector<double>> points) {
    korvale::NodeList nodes;
    for (const auto& p : points) nodes.push_back({nodes.size(), p});
    return nodes;
}

inline korvale::NodeList make_nodes(const std::vector<std::vector<double>>& points) {
    korvale::NodeList nodes;
    for (const auto& p : points) nodes.push_back({nodes.size(), p});
    return nodes;
}
