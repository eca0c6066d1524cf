# One sheet of every response type: gain against frequency with the cutoff
# held at 1 kHz, at three resonance settings. Called by make-plots.sh with
# datadir (holding responses.dat and responses-names.gp) and out.
load datadir.'/responses-names.gp'

cols = 7
rows = 6
set terminal pngcairo size 1400,1080 font 'DejaVu Sans,8' linewidth 1
set output out

set logscale x
set xrange [20:20000]
set yrange [-48:18]
set xtics ('100' 100, '1k' 1000, '10k' 10000) scale 0.5
set ytics -36,12,12 scale 0.5
set mxtics 10
set grid xtics ytics mxtics lc rgb '#dddddd' lw 0.6, lc rgb '#eeeeee' lw 0.4
set key off

set multiplot layout rows, cols margins 0.03, 0.99, 0.03, 0.93 spacing 0.03, 0.045 \
    title "Zirpomatik Tolm: every response type with the cutoff held at 1 kHz (gain in dB against frequency in Hz)" font ',12'
do for [t = 1:|type_name|] {
    set title type_name[t] offset 0,-0.7
    set arrow 1 from 1000, graph 0 to 1000, graph 1 nohead lc rgb '#bbbbbb' dt 2
    plot datadir.'/responses.dat' index (t - 1) using 1:2 with lines lc rgb '#7f7f7f' lw 1, \
         ''                       index (t - 1) using 1:3 with lines lc rgb '#1f5fbf' lw 1.5, \
         ''                       index (t - 1) using 1:4 with lines lc rgb '#d0401c' lw 1
}
# The spare panels of the last row hold the legend.
unset title
unset arrow 1
unset border
unset tics
unset grid
set key at screen 0.62, screen 0.11 center center box samplen 4 spacing 1.5 width 2 font ',11'
set yrange [0:1]
plot 2 with lines lc rgb '#7f7f7f' lw 1 title 'resonance 0 %', \
     2 with lines lc rgb '#1f5fbf' lw 1.5 title 'resonance 70 % (the default)', \
     2 with lines lc rgb '#d0401c' lw 1 title 'resonance 90 %', \
     2 with lines lc rgb '#bbbbbb' dt 2 title 'the cutoff, 1 kHz'
unset multiplot
