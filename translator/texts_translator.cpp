// Built-in texts of the translator's messages, in the order of the language file.
#include "texts.h"

#include <array>

namespace mvx::texts {

namespace {
constexpr Builtin kRows[] = {
    {"StringImpossibledecharger", "Impossible de charger"},
    {"StringImpossibledecomvertir", "Impossible de convertir"},
    {"StringImpossibledexecuter", "Impossible d'exécuter"},
    {"Stringgraved", "Gravé"},
    {"stringruntrajnumb", "run trajectory number"},
    {"stringchangeoutputM", "CHANGE OUTPUT  FOR M"},
    {"Stringtempo", "Delay"},
    {"stringcenter", "Center"},
    {"stringBegin", "Begin"},
    {"stringend", "end"},
    {"Stringline", "Line"},
    {"StringMouvementZimpossible", "Mouvement en Z impossible avec un groupe XY"},
    {"stringtoolinactive", "CHANGE OUTPUT FOR TOOL INACTIVE"},
    {"stringtoolactive", "CHANGE OUTPUT FOR TOOL ACTIVE"},
    {"stringmovrelative", "Relative displacement"},
    {"stringroutinechangespeed", "Change speed"},
    {"stringBeginprogram", "Program start"},
    {"stringincoherenceline", "Incohérence dans le fichier GCODE, ligne"},
    {"StringMath01", "Caractère inconnu"},
    {"StringMath02", "Un signe - ou + ne peut pas précéder un autre opérateur (* / ^ ou %)"},
    {"StringMath03", "L'opérateur E doit suivre un nombre ou une expression entre parenthèses"},
    {"StringMath04", "Fonction ou constante inconnue"},
    {"StringMath05", "Format de nombre incorrect"},
    {"StringMath06", "Nombre différent de parenthèses ouvrantes et fermantes"},
    {"StringMath07", "Deux signes / * ^ ou % ne peuvent se suivre"},
    {"StringMath08", "Symbole non permis en fin ou en début"},
    {"StringMath09", "Une fonction doit être suivie d'une expression entre parenthèses"},
    {"StringMath10", "Pas assez de paramètres"},
    {"StringMath11", "Opérateur ou Séparateur suivi d'une parenthèse fermante"},
    {"StringMath12", "Séparateur non suivi d'un nombre, d'une fonction ou d'une expression entre parenthèses"},
    {"StringMath13", "Symbole interdit en début d'expression"},
    {"StringMath100", "Division par zéro"},
    {"StringMath101", "exposant fractionnaire négatif"},
    {"StringMath102", "Argument invalide Function Logn"},
    {"StringMath103", "Valeur en dehors du domaine de définition"},
    {"StringMath104", "Op invalide"},
};
}  // namespace

std::span<const Builtin> translatorBuiltins() { return kRows; }

}  // namespace mvx::texts
