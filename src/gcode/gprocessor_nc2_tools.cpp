// Tool selection, tool compensation and the tool-data file of a channel.

#include "core/exception.h"
#include "gcode/gprocessor_nc2.h"
#include "geometry/trans_matrix.h"

namespace Karsto {

void GProcessorNc2::selectTool(int d) {
    // Unsigned, so negative numbers fail too.
    checkRuntime(static_cast<uint32_t>(d) <= static_cast<uint32_t>(ToolTable::kTools),
                 "Tool Number D%d does not lie in range D0..D255.", d);
    tool.index = d;
    if (d > 0) emitHst('t', static_cast<double>(tools.number(d)));
    updateToolCompensation();
}

void GProcessorNc2::updateToolCompensation() {
    Point3 translation;
    if (tool.index >= 1) {
        const int i = tool.index;
        const int32_t type = tools.toolType(i);
        checkRuntime(type == static_cast<int32_t>(ToolType::none) ||
                         type == static_cast<int32_t>(ToolType::drill) ||
                         type == static_cast<int32_t>(ToolType::mill),
                     "Invalid tool type '%d'.", type);
        const double length = tools.param(i, ToolParam::length) + tools.param(i, ToolParam::lengthAdd);
        const double sign = tool.directionPositive ? 1.0 : -1.0;
        const Point3 offset{tools.param(i, ToolParam::offsetX), tools.param(i, ToolParam::offsetY),
                            tools.param(i, ToolParam::offsetZ)};
        translation = Point3::add(Point3::scale(path.planeNormal, sign * length), offset);
    }
    TransMatrix& m = *toolMatrix_;
    m.setIdentity();
    m.m[0][3] = translation.x;
    m.m[1][3] = translation.y;
    m.m[2][3] = translation.z;
    m.invalidate(); // direct entry writes do not invalidate by themselves
}

void GProcessorNc2::loadToolData(const std::string& fileName) {
    checkRuntime(!fileName.empty(), "Invalid empty filename used to load tooldata");
    toolDataFile_ = fileName;
    tools.load(fileName);
}

void GProcessorNc2::saveToolDataAs(const std::string& fileName) {
    checkRuntime(!fileName.empty(), "Invalid empty filename used to save tooldata");
    toolDataFile_ = fileName;
    tools.save(fileName);
}

void GProcessorNc2::saveToolData() { saveToolDataAs(toolDataFile_); }

} // namespace Karsto
