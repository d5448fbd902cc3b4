// Which cursor fields a mouse press or drag in the scope window moves: the shown and
// active pair only, cursor 1 with the left button, cursor 2 with the right one. Pure.
#pragma once

namespace display {

struct CurseursDeplaces {
    bool Xcurs1 = false, Xcurs2 = false, Ycurs1 = false, Ycurs2 = false;
    bool Aucun() const { return !(Xcurs1 || Xcurs2 || Ycurs1 || Ycurs2); }
};

// `vertCurseurs`: the hidden box VertCurseurs (checked = the horizontal pair is active);
// `verticaux`, `horizontaux`: the pairs shown; `gauche`, `droit`: the buttons held.
inline CurseursDeplaces CurseursAPlacer(bool vertCurseurs, bool verticaux, bool horizontaux,
                                        bool gauche, bool droit) {
    CurseursDeplaces d;
    if (!vertCurseurs && verticaux) {
        d.Xcurs1 = gauche;
        d.Xcurs2 = droit;
    } else if (vertCurseurs && horizontaux) {
        d.Ycurs1 = gauche;
        d.Ycurs2 = droit;
    }
    return d;
}

} // namespace display
