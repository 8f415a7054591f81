// The EMF+ record player: GDI+ drawing carried in EMR_COMMENT records of an EMF, as
// Office and modern Windows programs write it. The EMF player hands it every comment and
// asks it, record by record, whether the ordinary EMF records are to be drawn.

#pragma once

#include <memory>
#include <vector>

#include "images/metafile/ByteReader.h"
#include "images/metafile/Layout.h"

namespace gv::metafile {

class Canvas;

class EmfPlusPlayer final {
public:
    EmfPlusPlayer(const Layout& layout, Canvas& canvas);
    ~EmfPlusPlayer();
    EmfPlusPlayer(const EmfPlusPlayer&) = delete;
    EmfPlusPlayer& operator=(const EmfPlusPlayer&) = delete;

    // Plays the EMF+ records of one EMR_COMMENT record (the whole record); false when the
    // comment carries no EMF+ records.
    bool comment(const ByteReader& record);
    // Whether an ordinary EMF record met now is drawn: always before EMF+ drawing starts,
    // afterwards only between a GetDC record and the next EMF+ record.
    bool emfShown() const;
    // Whether an EMR_COMMENT record holds EMF+ records that draw something. A file whose
    // EMF+ records draw nothing at all is played as a plain EMF.
    static bool draws(const ByteReader& record);
    // Raises slots[id] (256 of them) to the bytes each image object of an EMR_COMMENT record
    // takes once decoded, read from the objects' headers: the images a picture may hold at
    // once.
    static void imageBytes(const ByteReader& record, std::vector<qint64>& slots);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace gv::metafile
