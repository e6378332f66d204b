#include "detection/workframe_sampling.h"

#include <numeric>

#include "detection/rgbrow.h"

WorkRowSource::WorkRowSource(const FrameView& picture, bool mirror, PointConversion conversion)
    : m_picture(picture),
      m_conversion(conversion),
      m_converting(picture.layout == PixelLayout::I420),
      m_columns(sourceColumns(picture.width, mirror)),
      m_sampledColumns(m_columns) {
    if (picture.layout == PixelLayout::Rgb)
        m_rgbRow.resize(static_cast<std::size_t>(picture.width) * 4);
    if (!m_converting)
        return;
    std::iota(m_columns.begin(), m_columns.end(), 0);
    if (conversion == PointConversion::Avx2 && picture.width >= kSampledYuvMinimumWidth)
        m_avx2Plan = planSampledYuv(m_sampledColumns, picture.width, picture.colours);
}

const std::uint8_t* WorkRowSource::row(int workRow) {
    if (m_picture.layout == PixelLayout::Rgb) {
        const std::uint8_t* rgb = sourceRow(m_picture, workRow);
        if (m_conversion == PointConversion::Avx2)
            convertRgbRowAvx2(rgb, m_picture.width, m_rgbRow.data());
        else
            convertRgbRow(rgb, m_picture.width, m_rgbRow.data());
        return m_rgbRow.data();
    }
    if (!m_converting)
        return sourceRow(m_picture, workRow);
    const int row = static_cast<int>(std::int64_t{workRow} * m_picture.height / kWorkHeight);
    const std::uint8_t* luma =
        m_picture.pixels + static_cast<std::ptrdiff_t>(row) * m_picture.stride;
    if (m_avx2Plan) {
        convertSampledRowAvx2(
            *m_avx2Plan, luma,
            m_picture.uPlane + static_cast<std::ptrdiff_t>(row / 2) * m_picture.uStride,
            m_picture.vPlane + static_cast<std::ptrdiff_t>(row / 2) * m_picture.vStride,
            m_converted.data());
        return reinterpret_cast<const std::uint8_t*>(m_converted.data());
    }
    const YuvTerms& terms = yuvTerms(m_picture.colours);
    if (row / 2 != m_chromaRow) {
        m_chromaRow = row / 2;
        const std::uint8_t* u =
            m_picture.uPlane + static_cast<std::ptrdiff_t>(m_chromaRow) * m_picture.uStride;
        const std::uint8_t* v =
            m_picture.vPlane + static_cast<std::ptrdiff_t>(m_chromaRow) * m_picture.vStride;
        for (int x = 0; x < kWorkWidth; ++x) {
            const int column = m_sampledColumns[x] / 2;
            std::int16_t* chroma = &m_chromaTerms[x * 3];
            chroma[0] = terms.blueFromU[u[column]];
            chroma[1] = static_cast<std::int16_t>(terms.greenFromU[u[column]] +
                                                  terms.greenFromV[v[column]]);
            chroma[2] = terms.redFromV[v[column]];
        }
    }
    for (int x = 0; x < kWorkWidth; ++x) {
        const int lumaTerm = terms.luma[luma[m_sampledColumns[x]]];
        const std::int16_t* chroma = &m_chromaTerms[x * 3];
        // Blue, green, red, 255 in memory on this byte order.
        m_converted[x] = yuvChannel(lumaTerm + chroma[0]) |
                         std::uint32_t{yuvChannel(lumaTerm + chroma[1])} << 8 |
                         std::uint32_t{yuvChannel(lumaTerm + chroma[2])} << 16 | 0xff000000u;
    }
    return reinterpret_cast<const std::uint8_t*>(m_converted.data());
}
