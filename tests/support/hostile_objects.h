#pragma once

// Objects blocks made to be slow to read: each shape at about a given size,
// for the load benchmarks and, small, for the fuzz targets' seeds.

#include <array>
#include <cstddef>
#include <string>

namespace mk::test {

enum class HostileShape {
    LessThanRun,      // one object holding nothing but '<'
    ManyFields,       // every keyed element but one, over and over
    NestedFields,     // every number and flag element opened inside the one before
    ManyVariables,    // one object with variable after variable
    ManyTinyObjects,  // empty object after empty object
    Entities,         // every text element inside the one before, around entities
    AmpersandNumbers,  // a run of '&' as a number (the parameters' too), beside short texts holding markup
    AmpersandText,     // a run of '&' in a text holding markup
};

struct HostileShapeName {
    HostileShape shape;
    const char* name;
};

inline constexpr std::array<HostileShapeName, 8> kHostileShapes = {{
    {HostileShape::LessThanRun, "less-than-run"},
    {HostileShape::ManyFields, "many-fields"},
    {HostileShape::NestedFields, "nested-fields"},
    {HostileShape::ManyVariables, "many-variables"},
    {HostileShape::ManyTinyObjects, "many-tiny-objects"},
    {HostileShape::Entities, "entities"},
    {HostileShape::AmpersandNumbers, "ampersand-numbers"},
    {HostileShape::AmpersandText, "ampersand-text"},
}};

std::string hostileObjectsXml(HostileShape shape, std::size_t size);
// Parameter elements to put before the usual ones: most shapes need none.
std::string hostileParamsXml(HostileShape shape, std::size_t size);

}  // namespace mk::test
