#pragma once
// The chaser editor's logic, without widgets: the grid of one step-sequence channel
// (its entries as columns, the target channel, mode letter, 0-scene and every step as
// rows) kept as cell texts the way the operator types them, the LED view of that
// grid (LED fixtures of 8 consecutive console channels, per step the colour of the
// template row they show), and the LED colour templates with their file
// "ChaserLedVorlagen.ini" in the data folder.
//
// The editor writes straight into the chaser's TKanal; it keeps nothing of its own
// that a show would save. The form (cues/uFrm_Chaser) is a view over this.

#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

class TKanal;
class TModuleLichtpult;
class TStringIniFile;

// Chaser n (1..ChaserAnzahl) is the console channel LetzterGruppenKanal + n.
constexpr int ChaserAnzahl = 60;
constexpr int ChaserSchritteMin = 2;
constexpr int ChaserSchritteMax = 99;
// A step lasts Takt x 40 ms.
constexpr int ChaserTaktMin = 1;
constexpr int ChaserTaktMax = 300;
// An LED fixture occupies this many consecutive console channels; a template has as
// many rows (colours).
constexpr int LedKanaele = 8;
constexpr int LedFarben = 8;

// One LED colour template: per row a colour (red in the low byte, then green, then
// blue) and the levels of the fixture's 8 channels that make it; -1 leaves a channel alone.
struct TLedVorlage {
    TLedVorlage();
    QString Name;
    std::array<int, LedFarben> Color{};                               // index row - 1
    std::array<std::array<int, LedKanaele>, LedFarben> W{};           // [row - 1][channel - 1]
};

// The template list and its file.
class TLedVorlagen {
public:
    // The most templates without a section of their own that a file's count may
    // bring; more are logged and left out. Templates with a section are all read.
    static constexpr int MaxCount = 200;

    std::vector<std::unique_ptr<TLedVorlage>> Items;

    int Count() const { return static_cast<int>(Items.size()); }
    TLedVorlage* Get(int i) const;   // nullptr outside the list
    TLedVorlage& Add();              // a new template at the end
    // Replaces the list by the templates of the INI text.
    void Load(const TStringIniFile& ini);
    // Replaces the list by the file's templates; false (list empty) when it cannot be read.
    bool LoadFromFile(const QString& path);
    // The file's lines.
    QStringList ToLines() const;
    // How many of the count templates that an INI text names Load reads.
    static int ReadableCount(const TStringIniFile& ini, int count);
    // Writes the file through a temporary file and rename, making its folder when
    // missing; EPvError on failure (the old file stays).
    void SaveToFile(const QString& path) const;
};

class TChaserEditor {
public:
    // Grid size: column 0 holds the labels, columns 1..ColumnsMax the entries; rows
    // 0..2 target channel, mode letter and 0-scene, row 2 + s step s.
    static constexpr int ColumnsMax = 192;
    static constexpr int RowsMax = ChaserSchritteMax + 3;
    // The 0-scene takes at most this many channels.
    static constexpr int NullszeneMax = ColumnsMax - 2;

    explicit TChaserEditor(TModuleLichtpult& console);

    // ---- the definition grid ----
    int ColumnCount() const { return FColumnCount; }   // with the label column
    int RowCount() const { return StepCount + 3; }
    // Text of a cell (any column 0..ColumnsMax, row 0..RowsMax - 1; empty outside).
    QString Cell(int col, int row) const;
    // The operator typed text into a cell. A step cell's value reaches the chaser at once.
    void EditCell(int col, int row, const QString& text);
    // The column that holds console channel c as entry target, 0 for none.
    int ColumnOfChannel(int c) const;

    int ChaserNr = 0;            // as typed; 0 hides the definition controls
    TKanal* ChaserKanal = nullptr;
    int StepCount = 0;
    bool DefinitionVisible() const { return ChaserNr > 0; }

    // Loads chaser n into the grid. A number that names no chaser (outside 1..60)
    // leaves the grid as it is and edits no channel. A step count or Takt that the
    // editor cannot show (a chaser never programmed has 0 of both) is set to what it
    // shows, so the chaser shown is the one the show saves and the console plays.
    void LoadChaser(int n);
    // Applies a step count (held to 2..99) to both grids and to the chaser.
    void SetSteps(int n);
    // Writes every step cell of the grid into the chaser.
    void GridToSequence();
    // The console channels whose level differs from their blackout level become the
    // entries (at most 190, ascending), their levels the 0-scene.
    void StoreNullszene();
    // The levels of the entries' channels into step row `row`.
    void StoreStep(int row);
    // Black-out, then the step row's values onto the entries' channels.
    void StepToConsole(int row);
    // A step cell that shows its column's 0-scene value is emptied, any other gets it.
    // False when the cell is no step cell.
    bool ToggleCell(int col, int row);

    void SetName(const QString& s);
    void SetFadeModus(int v);
    void SetTakt(int v);

    // ---- the LED grid ----
    // The LED definitions text was confirmed: parse it and keep it with the chaser.
    void SetLedDefs(const QString& text);
    // Comma-separated start channels; parts that are no number above 0 are dropped.
    void ParseLedColumns(const QString& text);
    int LedColumnCount() const { return static_cast<int>(FLedHeaders.size()) + 1; }   // with the label column
    QString LedHeader(int led) const;             // led 1..
    QString LedCell(int led, int step) const;     // the colour shown, or empty
    // Clicks row `row` (1..8) of the template onto LED `led` in step `step`.
    void ApplyTemplateRow(int led, int step, const TLedVorlage& vorlage, int row);
    // Shows per LED and step the colour of the first template row that matches.
    void RebuildLedGrid(const TLedVorlage* vorlage);

private:
    QString& At(int col, int row) { return FCells[static_cast<std::size_t>(col * RowsMax + row)]; }
    void ClearChannelColumns() { FChannelColumn.fill(0); }
    void MapChannel(int c, int col);
    int CellValue(int col, int row, int def) const;

    TModuleLichtpult& FConsole;
    int FColumnCount = 2;
    std::vector<QString> FCells;                  // ColumnsMax + 1 columns of RowsMax rows
    std::array<int, 511> FChannelColumn{};        // console channel 1..510 -> column
    QStringList FLedHeaders;                      // LED k's start channel as typed (index k - 1)
    std::vector<QString> FLedCells;               // [led - 1][step - 1], ChaserSchritteMax per LED
};
