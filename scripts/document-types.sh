# shellcheck shell=bash disable=SC2034  # sourced; the tables are for the scripts that source it
# The types of document the main job saves, by file name extension (sourced by export.sh and
# document-to-emf.sh): the Office application that hosts each, and the LibreOffice import filters that may
# open it, tried in order. Naming the filters keeps LibreOffice from reading a damaged or mislabelled file
# as plain text, which it otherwise does with anything it does not recognise. A filter's options follow its
# name after a colon: CSV is read as UTF-8 (76; a byte-order mark is skipped), fields separated by commas
# (44) and quoted by double quotes (34), from the first line; without them the filter reads a Western code
# page, UTF-8's "é" as "Ã©".
#   document_host[EXT]: Word, Excel or PowerPoint; document_filters[EXT]: the filters, "|" between them
#   document_types: the types, by host, for the user
declare -A document_host=() document_filters=()
while IFS=: read -r extension host filters; do
  document_host[$extension]=$host document_filters[$extension]=$filters
done <<'TYPES'
docx:Word:MS Word 2007 XML|Office Open XML Text
docm:Word:MS Word 2007 XML VBA|Office Open XML Text
dotx:Word:MS Word 2007 XML Template|Office Open XML Text Template
dotm:Word:MS Word 2007 XML Template|Office Open XML Text Template
doc:Word:MS Word 97|MS Word 95|MS WinWord 6.0|Rich Text Format
dot:Word:MS Word 97 Vorlage|MS Word 95 Vorlage
rtf:Word:Rich Text Format
txt:Word:Text
odt:Word:writer8
ott:Word:writer8_template
fodt:Word:OpenDocument Text Flat XML
pdf:Word:
xlsx:Excel:Calc MS Excel 2007 XML|Calc Office Open XML
xlsm:Excel:Calc MS Excel 2007 VBA XML|Calc Office Open XML
xlsb:Excel:Calc MS Excel 2007 Binary
xls:Excel:MS Excel 97|MS Excel 95|MS Excel 5.0/95|MS Excel 4.0
csv:Excel:Text - txt - csv (StarCalc):44,34,76,1
ods:Excel:calc8
ots:Excel:calc8_template
fods:Excel:OpenDocument Spreadsheet Flat XML
pptx:PowerPoint:Impress MS PowerPoint 2007 XML|Impress Office Open XML
pptm:PowerPoint:Impress MS PowerPoint 2007 XML VBA|Impress Office Open XML
ppsx:PowerPoint:Impress MS PowerPoint 2007 XML AutoPlay|Impress Office Open XML AutoPlay
ppt:PowerPoint:MS PowerPoint 97
pps:PowerPoint:MS PowerPoint 97 AutoPlay
odp:PowerPoint:impress8
otp:PowerPoint:impress8_template
fodp:PowerPoint:OpenDocument Presentation Flat XML
TYPES

document_types() {
  local host extension
  for host in Word Excel PowerPoint; do
    printf '  %s:' "$host"
    for extension in "${!document_host[@]}"; do
      [ "${document_host[$extension]}" != "$host" ] || echo "$extension"
    done | sort | sed 's/^/ ./' | tr -d '\n'
    echo
  done
}

# document_type FILE: FILE's extension in lower case when it is one of the types, nothing otherwise.
document_type() {
  local extension
  extension=${1##*/}
  [[ $extension == *.* ]] || return 0
  extension=${extension##*.}
  extension=${extension,,}
  [ -z "$extension" ] || [ -z "${document_host[$extension]+known}" ] || echo "$extension"
}
