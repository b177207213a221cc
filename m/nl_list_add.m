function model = nl_list_add(model, S, name)
% NL_LIST_ADD  Appends an entry to the "NL" list of a model structure.
%
%   model = nl_list_add(model, S, name) appends the entry S (made by
%   nl_force_entry or nl_rotcenter) as a new row {name, kind, S} of
%   model.NL, an n x 3 cell created when the model has none.  "residual"
%   evaluates the rows in order and reads only the third column; the first
%   two say what the row is for people reading the model (name defaults to
%   'nl<row>', kind is S.type, or 'Fu' for a force function).  Error
%   messages about an entry name its row: "model.NL row 3, ...".
%
%   Example:
%     model = struct('K', {{M, C, K}}, 'FNL', zeros(3, 1));
%     model = nl_list_add(model, nl_rotcenter([4 5 6], [7 8 9], 3, eye(3), ...
%                         zeros(3,1), zeros(3,1), zeros(3,1), Fu, Fv), 'pivot');
  if ~isstruct(model) || ~isstruct(S) || ~isscalar(S)
    error('VRK:spardyn:Invalid', 'nl_list_add: a model structure and an entry structure expected');
  end
  if ~isfield(model, 'NL') || isempty(model.NL)
    model.NL = cell(0, 3);
  elseif ~iscell(model.NL) || columns(model.NL) < 3
    error('VRK:spardyn:Invalid', 'nl_list_add: model.NL must be a cell of three columns');
  end
  row = rows(model.NL) + 1;
  if nargin < 3, name = sprintf('nl%d', row); end
  kind = 'Fu';
  if isfield(S, 'type') && ischar(S.type), kind = S.type; end
  model.NL(row, 1:3) = {name, kind, S};
end
