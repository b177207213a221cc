function code = nl_law_code(name)
% NL_LAW_CODE  The code in opt(1) of a non-linear term that selects its law.
%
%   code = nl_law_code(name) packs the law's name into the number the module
%   reads: the characters' byte codes are the digits of a base-256 number,
%   the first character least significant.  The names are
%
%     'Power'   f = opt(2) * x^opt(3)
%     'Expon'   f = opt(2) * opt(3)^x
%     'Table'   f = a table interpolated at x
%     'DahlC'   Dahl friction
%     'sts'     spring in series with a slider (lower case)
%     'Clima2'  tabulated contact with two friction directions
%     'Maxw'    linear state-space (generalised Maxwell) law
%
%   Case matters: 'STS' is not a law.  The builders nl_power, nl_expon,
%   nl_table, nl_dahl, nl_slider, nl_contact and nl_maxwell fill the whole
%   term, code included.
%
%   Example:
%     nl_law_code('Power')   % 491328597840
  known = {'Power', 'Expon', 'Table', 'DahlC', 'sts', 'Clima2', 'Maxw'};
  if ~ischar(name) || ~any(strcmp(name, known))
    error('VRK:spardyn:Invalid', 'nl_law_code: unknown law name; known: %s', ...
          strjoin(known, ', '));
  end
  code = sum(double(name) .* 256 .^ (0:numel(name) - 1));
end
